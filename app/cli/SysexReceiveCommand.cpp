// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// kelvane sysex receive FILE: the SysEx page's recording, from a terminal.
#include <unistd.h>

#include <QCommandLineParser>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include "CommandParts.h"
#include "Exception.h"
#include "MidiBackends.h"
#include "MidiIn.h"
#include "MidiOut.h"
#include "SysExCheck.h"
#include "SysExFile.h"
#include "SysExRecorder.h"
#include "SysExSender.h"
#include "SysExTexts.h"
#include "TerminationSignals.h"

namespace {

// A dump that outgrows this is a device that never stops sending.
constexpr qint64 kMaxDumpBytes = qint64(256) << 20;
constexpr qint64 kMaxRequestBytes = qint64(64) << 10;
constexpr int kDefaultQuietSeconds = 2;
constexpr int kDefaultTimeoutSeconds = 60;

// Everything one reception needs, alive for its event loop.
struct Reception {
  QByteArray dump;
  bool lost = false;
  bool timedOut = false;
  TSysExRecorder recorder;
  QEventLoop loop;
};

void TakeInput(TMidiInput &input, Reception &r) {
  while (input.PendingCount() > 0) {
    const std::unique_ptr<TMyMidiEvent> event = input.ReadEvent();
    if (!event) break;
    if (event->SysExByteCount == 0 || !event->SysExBytes) continue;
    if (r.dump.size() + qint64(event->SysExByteCount) > kMaxDumpBytes) {
      r.lost = true;
      continue;
    }
    r.dump.append(reinterpret_cast<const char *>(event->SysExBytes.get()),
                  static_cast<qsizetype>(event->SysExByteCount));
  }
  r.recorder.Grew(r.dump);
  if (isatty(STDERR_FILENO))
    std::fprintf(stderr, "\r%d messages, %lld bytes ", r.recorder.Messages(),
                 static_cast<long long>(r.recorder.Bytes()));
}

std::optional<QByteArray> ReadRequest(const QString &given, QString &error) {
  if (!QFile::exists(given))
    if (const std::optional<QByteArray> typed = ParseHexBytes(given)) return typed;
  try {
    return ReadSysExFile(given, kMaxRequestBytes);
  } catch (const Exception &e) {
    error = e.Message();
    return std::nullopt;
  }
}

int SecondsOption(QCommandLineParser &parser, const QString &name, int fallback) {
  if (!parser.isSet(name)) return fallback;
  bool ok = false;
  const int seconds = parser.value(name).toInt(&ok);
  return ok && seconds >= 0 && seconds <= 86400 ? seconds : -1;
}

// The input port that takes the dump, opened on the device `wanted`, its name in `name`; or
// the reason why not.
std::unique_ptr<TMidiInput> OpenInput(MidiBackend &backend, const QString &wanted, QString &error,
                                      QString &name) {
  auto input = std::make_unique<TMidiInput>(backend);
  input->SetCapacity(2048);
  input->SetSysexBufferSize(5120);
  input->SetSysexBufferCount(512);
  input->SetSysexOnly(true);
  const QStringList names = input->DeviceNames();
  const std::optional<int> id = FindDevice(names, wanted, QStringLiteral("input"), error);
  if (!id) return nullptr;
  name = names[*id];
  try {
    input->SetDeviceID(static_cast<uint16_t>(*id));
  } catch (const Exception &e) {
    error = e.Message();
    return nullptr;
  }
  input->OpenPort();
  if (!input->IsOpen()) {
    error = QStringLiteral("cannot open the MIDI input %1: %2")
                .arg(name, input->ErrorText(input->Error()));
    return nullptr;
  }
  return input;
}

// Sends the dump request on its way; `requestError` says why it failed, once it has.
std::unique_ptr<TSysExSender> StartRequest(TMidiOutput &output, const QByteArray &request,
                                           QString &requestError) {
  auto sender = std::make_unique<TSysExSender>(output);
  output.Onmidioutput = [&output, s = sender.get()](QObject *) {
    s->BlockEnded(output.LastError());
  };
  sender->OnFinished = [&requestError](TSysExSender::Outcome how, const QString &why) {
    if (how != TSysExSender::Outcome::Sent) requestError = why.isEmpty() ? "cancelled" : why;
  };
  sender->Start(request, {});
  return sender;
}

// How one recording goes: its times in seconds, and the dump request with its output.
struct Recording {
  int quiet;
  int timeout;
  std::optional<QByteArray> request;
  QString to;
};

// Records into `r` until a quiet time after the dump, the time limit or a termination signal;
// the dump request goes out once the input listens. `overrunsBefore` is the service's count
// then. An exit status when the request's output does not open or the request is not sent.
std::optional<int> Record(MidiBackend &backend, TMidiInput &input, Reception &r,
                          const Recording &how, uint64_t &overrunsBefore) {
  input.OnMidiInput = [&](QObject *) { TakeInput(input, r); };
  input.OnOverflow = [&](QObject *) { r.lost = true; };
  r.recorder.OnQuiet = [&] { r.loop.quit(); };
  r.recorder.Start(how.quiet * 1000);
  QTimer limit;
  limit.setSingleShot(true);
  QObject::connect(&limit, &QTimer::timeout, &r.loop, [&] {
    r.timedOut = true;
    r.loop.quit();
  });
  if (how.timeout > 0) limit.start(how.timeout * 1000);
  QObject guard;
  RunOnTermination(&guard, [&] { r.loop.quit(); });
  input.StartInput();
  overrunsBefore = input.Overruns();

  std::unique_ptr<TMidiOutput> output;
  std::unique_ptr<TSysExSender> sender;
  QString requestError;
  if (how.request) {
    QString error, to;
    output = OpenOutput(backend, how.to, error, to);
    if (!output) return Fail(error);
    sender = StartRequest(*output, *how.request, requestError);
  }
  r.loop.exec();
  r.recorder.Stop();
  input.OnMidiInput = nullptr;
  if (isatty(STDERR_FILENO)) std::fputs("\n", stderr);
  if (!requestError.isEmpty()) return Fail("the dump request was not sent: " + requestError);
  return std::nullopt;
}

// The exit status of a reception that has ended, said on the way; a dump that came is saved.
int ReceptionOutcome(const Reception &r, const QString &file, const QString &device, int quiet,
                     int timeout, uint64_t overruns) {
  if (r.dump.isEmpty())
    return Fail(r.timedOut
                    ? QStringLiteral("nothing arrived from %1 within %2 s; no file written")
                          .arg(device)
                          .arg(timeout)
                    : QStringLiteral("nothing arrived from %1; no file written").arg(device));
  try {
    WriteSysExFile(file, r.dump);
  } catch (const Exception &e) {
    return Fail(e.Message());
  }
  const SysExCheck check = CheckSysEx(r.dump);
  const QString saved = ShownFileName(file);
  if (r.lost)
    return Fail(QStringLiteral("SysEx data was lost while receiving: %1 is incomplete").arg(saved));
  if (overruns > 0) return Fail(saved + QStringLiteral(": ") + ReceiveOverrunWarning(overruns));
  if (r.timedOut && quiet > 0)
    return Fail(QStringLiteral("still receiving after %1 s: %2 holds the %3 that came")
                    .arg(timeout)
                    .arg(saved, check.Summary().section(';', 0, 0)));
  if (!check.Clean()) return Fail(saved + QStringLiteral(": ") + check.Summary(), kCheckFaults);
  Say(stdout, QStringLiteral("received %1 from %2 into %3").arg(check.Summary(), device, saved));
  return kAllWent;
}

}  // namespace

int SysexReceiveCommand(const QStringList &arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      "Records the SysEx dump that arrives on the MIDI input DEVICE into FILE. Recording stops "
      "after a quiet time once something has arrived, at the time limit, or on Ctrl+C; the dump "
      "is then saved and checked. Exit status 0 when every byte came, 1 when not, 2 for a "
      "mistaken command line, 3 when the saved dump's check found faults.");
  parser.addPositionalArgument("FILE", "The .syx file to write (replaced when it exists).");
  const Parsed parsed =
      ParseCommand(parser, kSysexReceiveMode, QStringLiteral("sysex receive"), arguments);
  if (parsed.exit) return *parsed.exit;
  if (parsed.words.size() != 1) return Fail("sysex receive takes one FILE", kMistake);
  if (!parser.isSet("from")) return Fail("sysex receive needs --from DEVICE", kMistake);
  if (parser.isSet("request") && !parser.isSet("to"))
    return Fail("--request needs --to DEVICE, the output the request goes to", kMistake);
  const int quiet = SecondsOption(parser, "quiet-stop", kDefaultQuietSeconds);
  const int timeout = SecondsOption(parser, "timeout", kDefaultTimeoutSeconds);
  if (quiet < 0 || timeout < 0)
    return Fail("--quiet-stop and --timeout take whole seconds from 0 to 86400", kMistake);

  QString error;
  std::optional<QByteArray> request;
  if (parser.isSet("request") && !(request = ReadRequest(parser.value("request"), error)))
    return Fail(error);

  const std::unique_ptr<MidiBackend> backend = CreateMidiBackend(parser.value("midi-api"));
  QString device;
  const std::unique_ptr<TMidiInput> input =
      OpenInput(*backend, parser.value("from"), error, device);
  if (!input) return Fail(error);

  Reception r;
  uint64_t overrunsBefore = 0;
  if (const std::optional<int> failed = Record(
          *backend, *input, r, {quiet, timeout, request, parser.value("to")}, overrunsBefore))
    return *failed;
  return ReceptionOutcome(r, parsed.words.front(), device, quiet, timeout,
                          OverrunsSince(overrunsBefore, input->Overruns()));
}
