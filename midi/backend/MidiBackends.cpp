// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiBackends.h"

#include "LoopbackBackend.h"
#ifdef KELVANE_HAVE_ALSA
#include "AlsaBackend.h"
#endif
#ifdef KELVANE_HAVE_JACK
#include "JackBackend.h"
#endif
#ifdef KELVANE_HAVE_RTMIDI
#include "RtMidiBackend.h"
#endif

namespace {

// The services compiled in, in probing order: a running JACK server is what the musician chose
// to run (their hardware sits behind its bridge); the ALSA sequencer next, then the others.
QStringList ServiceApis() {
  QStringList apis;
#ifdef KELVANE_HAVE_JACK
  apis << QStringLiteral("jack");
#endif
#ifdef KELVANE_HAVE_ALSA
  apis << QStringLiteral("alsa");
#endif
#ifdef KELVANE_HAVE_RTMIDI
  for (const QString &api : CompiledRtMidiApis())
    if (!apis.contains(api)) apis << api;  // our own ALSA code serves "alsa" when it is built
#endif
  return apis;
}

std::unique_ptr<MidiBackend> CreateServiceBackend(const QString &api, bool mustWork) {
#ifdef KELVANE_HAVE_JACK
  if (api == QLatin1String("jack")) return CreateJackBackend(mustWork);
#endif
#ifdef KELVANE_HAVE_ALSA
  if (api == QLatin1String("alsa")) return CreateAlsaBackend(mustWork);
#endif
#ifdef KELVANE_HAVE_RTMIDI
  return CreateRtMidiBackend(api, mustWork);
#else
  (void)mustWork;
  return nullptr;
#endif
}

}  // namespace

QStringList MidiBackendApis() {
  return ServiceApis() << QStringLiteral("loopback");
}

std::unique_ptr<MidiBackend> CreateMidiBackend(const QString &api) {
  const QString name = api.trimmed().toLower();
  if (name == QLatin1String("loopback")) return std::make_unique<LoopbackBackend>();
  const QStringList apis = ServiceApis();
  if (name.isEmpty()) {
    // The first compiled service that really works; the loopback is for tests only. RtMidi's
    // own JACK API only runs when asked for by name. When none works now, Kelvane waits on the
    // first, so that a JACK server started later is found: the one already tried, not a second
    // that would ask (and, for a stopped server, wait) again.
    QStringList tried;
    std::unique_ptr<MidiBackend> first;
    for (const QString &candidate : apis) {
      if (candidate == QLatin1String("rtmidi-jack")) continue;
      const bool isFirst = candidate == apis.first();
      auto backend = CreateServiceBackend(candidate, /*mustWork=*/!isFirst);
      if (backend && backend->Answers()) {
        backend->SetTriedServices(tried);
        return backend;
      }
      if (isFirst) first = std::move(backend);
      tried << MidiServiceTitle(candidate) + QStringLiteral(": ") + MidiServiceAbsence(candidate);
    }
    if (first) {
      first->SetTriedServices(tried.mid(1));
      return first;
    }
    auto none = std::make_unique<NoDeviceBackend>();
    none->SetTriedServices(tried);
    return none;
  }
  if (apis.contains(name)) {
    // Asked for by name: keep it even if its service is down now, so its devices appear once
    // the service runs.
    if (auto backend = CreateServiceBackend(name, /*mustWork=*/false)) return backend;
  }
  return std::make_unique<NoDeviceBackend>();
}

QString MidiServiceTitle(const QString &api) {
  if (api == QLatin1String("jack")) return QStringLiteral("JACK");
  if (api == QLatin1String("alsa")) return QStringLiteral("ALSA sequencer");
  if (api == QLatin1String("coremidi")) return QStringLiteral("CoreMIDI");
  if (api == QLatin1String("winmm")) return QStringLiteral("Windows MIDI");
  if (api == QLatin1String("rtmidi-jack")) return QStringLiteral("JACK (RtMidi)");
  if (api == QLatin1String("loopback")) return QStringLiteral("Loopback");
  return QStringLiteral("No service");
}

QString MidiServiceAbsence(const QString &api) {
#ifdef KELVANE_HAVE_JACK
  if (api == QLatin1String("jack")) return JackOpenFailure();
#endif
#ifdef KELVANE_HAVE_ALSA
  if (api == QLatin1String("alsa")) {
    const std::string answer = AlsaClient::LastOpenFailure();
    if (!answer.empty()) return QString::fromStdString(answer);
  }
#endif
  if (api == QLatin1String("jack") || api == QLatin1String("rtmidi-jack"))
    return QStringLiteral("no server answers");
  if (api == QLatin1String("alsa")) return QStringLiteral("no sequencer here (/dev/snd/seq)");
  return QStringLiteral("does not answer");
}
