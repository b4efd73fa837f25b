// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "RtMidiBackend.h"

#ifdef KELVANE_HAVE_JACK
#include <jack/jack.h>
#endif

#include <mutex>
#include <vector>

#include "RtMidiConnections.h"

namespace {

struct ApiName {
  RtMidi::Api api;
  const char *name;
};
// Probing order. RtMidi's JACK API is never probed: our own JACK backend serves JACK, and
// "rtmidi-jack" is there to exercise the RtMidi path on Linux as CoreMIDI and WinMM use it.
const ApiName kApis[] = {{RtMidi::LINUX_ALSA, "alsa"},
                         {RtMidi::MACOSX_CORE, "coremidi"},
                         {RtMidi::WINDOWS_MM, "winmm"},
                         {RtMidi::UNIX_JACK, "rtmidi-jack"}};

bool Compiled(RtMidi::Api api) {
#ifndef KELVANE_HAVE_JACK
  if (api == RtMidi::UNIX_JACK) return false;  // its server watcher needs JACK's headers
#endif
  std::vector<RtMidi::Api> apis;
  RtMidi::getCompiledApi(apis);
  for (RtMidi::Api compiled : apis)
    if (compiled == api) return true;
  return false;
}

// Services without a server: alive for as long as RtMidi can make an object for them.
class PlainService : public RtMidiService {
 public:
  PlainService(RtMidi::Api api, MidiSysExPacing pacing, bool virtualPorts)
      : RtMidiService(api), pacing_(pacing), virtualPorts_(virtualPorts) {}
  MidiSysExPacing Pacing() const override { return pacing_; }
  bool HasVirtualPorts() const override { return virtualPorts_; }
  uint16_t DeadResult() const override { return mrNoDriver; }

  static bool Works(RtMidi::Api api) {
    try {
      RtMidiOut probe(api, "Kelvane");
      probe.setErrorCallback([](RtMidiError::Type, const std::string &, void *) {});
      return true;
    } catch (const RtMidiError &) {
      return false;  // ALSA here: "error creating ALSA sequencer client object"
    }
  }

 private:
  MidiSysExPacing pacing_;
  bool virtualPorts_;
};

#ifdef KELVANE_HAVE_JACK
void QuietJackError(const char *) {}

// The JACK server as a service. RtMidi gives no word when its server stops, so a small client
// of our own watches it: jack_on_shutdown marks the service dead at once, and the next call from
// the GUI thread connects again once a server runs (a new generation).
class JackService : public RtMidiService {
 public:
  JackService() : RtMidiService(RtMidi::UNIX_JACK) {
    jack_set_error_function(&QuietJackError);  // a missing server is an answer, not a fault
    jack_set_info_function(&QuietJackError);
  }
  ~JackService() override {
    if (watcher_) jack_client_close(watcher_);
  }

  bool Connect() override {
    std::lock_guard lock(mutex_);
    if (alive_.load()) return true;
    if (watcher_) {
      jack_client_close(watcher_);
      watcher_ = nullptr;
    }
    const auto options = static_cast<jack_options_t>(JackNoStartServer);
    watcher_ = jack_client_open("Kelvane-monitor", options, nullptr);
    if (!watcher_) return false;
    jack_on_shutdown(watcher_, &OnShutdown, this);
    jack_set_process_callback(watcher_, &OnCycle, this);
    if (jack_activate(watcher_) != 0) {
      jack_client_close(watcher_);
      watcher_ = nullptr;
      return false;
    }
    period_ =
        std::chrono::microseconds(1'000'000LL * jack_get_buffer_size(watcher_) /
                                  std::max<jack_nframes_t>(jack_get_sample_rate(watcher_), 1));
    generation_.fetch_add(1);
    alive_.store(true);
    return true;
  }
  bool Alive() const override { return alive_.load(); }
  // Each SysEx message whole, as on CoreMIDI and WinMM, one period apart (plus a little): RtMidi
  // loses what arrives faster than its ring drains (and drops messages over 16,379 bytes).
  MidiSysExPacing Pacing() const override {
    std::lock_guard lock(mutex_);
    return {0, period_ + period_ / 8};
  }
  bool HasVirtualPorts() const override { return true; }
  size_t MaxMessageBytes() const override { return 16379; }
  bool CountsCycles() const override { return true; }
  uint64_t Cycles() const override { return cycles_.load(std::memory_order_acquire); }

 private:
  // JACK's thread, when the server stops: no JACK calls, no locks.
  static void OnShutdown(void *self) { static_cast<JackService *>(self)->alive_.store(false); }
  // JACK's process thread, once a cycle: counts it, nothing else (no locks, no allocation).
  static int OnCycle(jack_nframes_t, void *self) {
    static_cast<JackService *>(self)->cycles_.fetch_add(1, std::memory_order_release);
    return 0;
  }

  mutable std::mutex mutex_;
  jack_client_t *watcher_ = nullptr;
  std::atomic<bool> alive_{false};
  std::atomic<uint64_t> cycles_{0};
  std::chrono::microseconds period_{21'333};
};
#endif

class RtMidiBackend : public MidiBackend {
 public:
  RtMidiBackend(QString name, std::shared_ptr<RtMidiService> service)
      : name_(std::move(name)), service_(std::move(service)) {}

  QString Api() const override { return name_; }
  std::unique_ptr<MidiOutConnection> CreateOutput() override {
    switch (service_->Api()) {
      case RtMidi::UNIX_JACK:
        return std::make_unique<kelvane::MidiOutRtJack>(service_);
      case RtMidi::LINUX_ALSA:
        return std::make_unique<kelvane::MidiOutAlsa>(service_);
      case RtMidi::MACOSX_CORE:
        return std::make_unique<kelvane::MidiOutCore>(service_);
      default:
        return std::make_unique<kelvane::MidiOutWinMM>(service_);
    }
  }
  std::unique_ptr<MidiInConnection> CreateInput() override {
    switch (service_->Api()) {
      case RtMidi::UNIX_JACK:
        return std::make_unique<kelvane::MidiInRtJack>(service_);
      case RtMidi::LINUX_ALSA:
        return std::make_unique<kelvane::MidiInAlsa>(service_);
      case RtMidi::MACOSX_CORE:
        return std::make_unique<kelvane::MidiInCore>(service_);
      default:
        return std::make_unique<kelvane::MidiInWinMM>(service_);
    }
  }
  std::optional<QString> ErrorText(uint16_t code) const override {
    const bool jack = service_->Api() == RtMidi::UNIX_JACK;
    if (jack && code == mrServerGone)
      return QStringLiteral("The JACK server is not running; choose the device again once it runs");
    if (code == mrNotSupported && service_->Api() == RtMidi::WINDOWS_MM)
      return QStringLiteral("The Windows MIDI service has no MIDI mapper here");
    return MidiBackend::ErrorText(code);
  }

 private:
  QString name_;
  std::shared_ptr<RtMidiService> service_;
};

std::shared_ptr<RtMidiService> MakeService(RtMidi::Api api) {
  using std::chrono::milliseconds;
  switch (api) {
#ifdef KELVANE_HAVE_JACK
    case RtMidi::UNIX_JACK:
      return std::make_shared<JackService>();
#endif
    case RtMidi::LINUX_ALSA:  // one sequencer event holds at most about 16,355 bytes
      return std::make_shared<PlainService>(api, MidiSysExPacing{4096, milliseconds(2)}, true);
    case RtMidi::MACOSX_CORE:  // a longer message must begin with F0: each message whole
      return std::make_shared<PlainService>(api, MidiSysExPacing{0, milliseconds(0)}, true);
    default:  // WinMM: each message whole; its SysEx send returns after the wire time
      return std::make_shared<PlainService>(api, MidiSysExPacing{0, milliseconds(0)}, false);
  }
}

}  // namespace

QStringList CompiledRtMidiApis() {
  QStringList names;
  for (const ApiName &entry : kApis)
    if (Compiled(entry.api)) names << QString::fromLatin1(entry.name);
  return names;
}

std::unique_ptr<MidiBackend> CreateRtMidiBackend(const QString &api, bool mustWork) {
  for (const ApiName &entry : kApis) {
    if (api != QLatin1String(entry.name) || !Compiled(entry.api)) continue;
    auto service = MakeService(entry.api);
    if (!service) return nullptr;
    const bool works =
        entry.api == RtMidi::UNIX_JACK ? service->Connect() : PlainService::Works(entry.api);
    if (mustWork && !works) return nullptr;
    return std::make_unique<RtMidiBackend>(api, std::move(service));
  }
  return nullptr;
}
