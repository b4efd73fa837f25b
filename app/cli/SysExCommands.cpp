// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "SysExCommands.h"

#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QRegularExpression>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <optional>

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

enum ExitStatus { kAllWent = 0, kFailed = 1, kMistake = 2, kCheckFaults = 3 };

const QString kDevices = QStringLiteral("devices");
const QString kSysex = QStringLiteral("sysex");
// A dump that outgrows this is a device that never stops sending.
constexpr qint64 kMaxDumpBytes = qint64(256) << 20;
constexpr qint64 kMaxRequestBytes = qint64(64) << 10;
constexpr int kDefaultQuietSeconds = 2;
constexpr int kDefaultTimeoutSeconds = 60;
// After the last block has left: one more server cycle or so, for it to reach the other end
// before our ports close.
constexpr int kLingerMs = 100;

void Say(FILE *stream, const QString &text) {
  std::fputs(qPrintable(text + QChar('\n')), stream);
  std::fflush(stream);
}

int Fail(const QString &text, int status = kFailed) {
  Say(stderr, QStringLiteral("kelvane: ") + text);
  return status;
}

// The option values and positional words of one mode, or the exit status of a mistake or help.
struct Parsed {
  QStringList words;
  std::optional<int> exit;
};

QCommandLineOption ApiOption() {
  return {"midi-api", "Use the MIDI service NAME (" + MidiBackendApis().join(", ") + ").", "NAME"};
}

Parsed Parse(QCommandLineParser &parser, const QString &usage, const QStringList &arguments) {
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption help({"h", "help"}, "Displays help on this command.");
  parser.addOption(help);
  parser.addOption(ApiOption());
  // The window's option is taken too, so that one line of options serves every mode.
  QCommandLineOption settings("settings", "Not used here.", "FILE");
  settings.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOption(settings);
  Parsed parsed;
  if (!parser.parse(arguments)) {
    parsed.exit = Fail(
        parser.errorText() + QStringLiteral(" (see kelvane ") + usage + QStringLiteral(" --help)"),
        kMistake);
    return parsed;
  }
  if (parser.isSet(help)) {
    QString text = parser.helpText();
    text.replace(QRegularExpression(QStringLiteral("^Usage: \\S+ \\[options\\]")),
                 QStringLiteral("Usage: kelvane ") + usage + QStringLiteral(" [options]"));
    std::fputs(qPrintable(text), stdout);
    parsed.exit = kAllWent;
    return parsed;
  }
  const QString api = parser.value(QStringLiteral("midi-api"));
  if (!api.isEmpty() && !MidiBackendApis().contains(api)) {
    parsed.exit = Fail(QStringLiteral("unknown MIDI service \"%1\"; choose one of: %2")
                           .arg(api, MidiBackendApis().join(", ")),
                       kMistake);
    return parsed;
  }
  parsed.words = parser.positionalArguments();
  return parsed;
}

// ---- devices ----

// A device by its number or by its name: the exact name, else the one name that holds the
// text (letter case aside).
std::optional<int> FindDevice(const QStringList &names, const QString &wanted, const QString &kind,
                              QString &error) {
  bool isNumber = false;
  const int number = wanted.toInt(&isNumber);
  if (isNumber && number >= 0 && number < names.size()) return number;
  if (const qsizetype exact = names.indexOf(wanted); exact >= 0) return int(exact);
  QList<int> holding;
  for (int i = 0; i < names.size(); ++i)
    if (names[i].contains(wanted, Qt::CaseInsensitive)) holding << i;
  if (holding.size() == 1) return holding.front();
  if (names.isEmpty())
    error = QStringLiteral("there is no MIDI %1 device at all").arg(kind);
  else if (holding.isEmpty())
    error = QStringLiteral("no MIDI %1 device is numbered or named \"%2\"; they are:\n%3")
                .arg(kind, wanted, names.join(QChar('\n')));
  else
    error = QStringLiteral("\"%1\" names several MIDI %2 devices; say which:\n%3")
                .arg(wanted, kind, names.join(QChar('\n')));
  return std::nullopt;
}

void ListDevices(const QString &heading, const QStringList &names) {
  Say(stdout, heading);
  if (names.isEmpty()) Say(stdout, QStringLiteral("  (none)"));
  for (int i = 0; i < names.size(); ++i)
    Say(stdout, QStringLiteral("%1  %2").arg(i, 3).arg(names[i]));
}

int DevicesCommand(const QStringList &arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      "Lists the MIDI output and input devices with the numbers and names that --to and "
      "--from take.");
  const Parsed parsed = Parse(parser, kDevices, arguments);
  if (parsed.exit) return *parsed.exit;
  if (!parsed.words.isEmpty()) return Fail("devices takes no FILE or other word", kMistake);
  const std::unique_ptr<MidiBackend> backend = CreateMidiBackend(parser.value("midi-api"));
  TMidiOutput output(*backend);
  TMidiInput input(*backend);
  ListDevices(QStringLiteral("outputs:"), output.DeviceNames());
  ListDevices(QStringLiteral("inputs:"), input.DeviceNames());
  if (!backend->Answers()) {
    Say(stderr, QStringLiteral("kelvane: no MIDI service works here"));
    QStringList tried{MidiServiceTitle(backend->Api()) + QStringLiteral(": ") +
                      MidiServiceAbsence(backend->Api())};
    tried << backend->TriedServices();
    for (const QString &line : tried) Say(stderr, QStringLiteral("  ") + line);
  }
  return kAllWent;
}

// ---- sending ----

// An output port opened on DEVICE, or the reason why not.
std::unique_ptr<TMidiOutput> OpenOutput(MidiBackend &backend, const QString &wanted, QString &error,
                                        QString &name) {
  auto output = std::make_unique<TMidiOutput>(backend);
  const QStringList names = output->DeviceNames();
  const std::optional<int> id = FindDevice(names, wanted, QStringLiteral("output"), error);
  if (!id) return nullptr;
  name = names[*id];
  try {
    output->SetDeviceID(*id);
  } catch (const Exception &e) {
    error = e.Message();
    return nullptr;
  }
  if (!output->OpenPort()) {
    error = QStringLiteral("cannot open the MIDI output %1: %2")
                .arg(name, output->ErrorText(output->LastError()));
    return nullptr;
  }
  return output;
}

// Sends `bytes` to `output` paced, in an event loop of its own; a termination signal cancels.
// The outcome, and in `error` why it failed.
TSysExSender::Outcome SendPaced(TMidiOutput &output, const QByteArray &bytes, SysExPacing pacing,
                                QString &error, TSysExSender::Progress &progress) {
  TSysExSender sender(output);
  auto outcome = TSysExSender::Outcome::Sent;
  QEventLoop loop;
  output.Onmidioutput = [&](QObject *) { sender.BlockEnded(output.LastError()); };
  sender.OnFinished = [&](TSysExSender::Outcome how, const QString &why) {
    outcome = how;
    error = why;
    QTimer::singleShot(kLingerMs, &loop, &QEventLoop::quit);
  };
  QObject guard;
  RunOnTermination(&guard, [&] { sender.Cancel(); });
  sender.Start(bytes, pacing);
  loop.exec();  // OnFinished has set the end, also when it ran within Start
  progress = sender.CurrentProgress();
  output.Onmidioutput = nullptr;
  return outcome;
}

int SendCommand(const QStringList &arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      "Sends the SysEx messages of FILE (a .syx file) to the MIDI output DEVICE, message by "
      "message. The file is checked first: a message without F7, bytes outside F0...F7 or a "
      "wrong Roland data-set checksum stop it unless --force is given. Exit status 0 when "
      "every byte went, 1 when not (or the MIDI service overran meanwhile), 2 for a mistaken "
      "command line, 3 when the check stopped it.");
  parser.addPositionalArgument("FILE", "The .syx file to send.");
  parser.addOption(
      {"to", "The MIDI output: its number or its name (see kelvane devices).", "DEVICE"});
  parser.addOption({"pause", "Pause MS milliseconds after each message (default 0).", "MS"});
  parser.addOption({"wire-speed", "Send no faster than a MIDI cable carries (31,250 bit/s)."});
  parser.addOption({"full-speed",
                    "Send at full speed even to a hardware port (one that stands for a MIDI "
                    "cable and is paced at wire speed): for a device known to be fast."});
  parser.addOption({"force", "Send the file even when its check finds faults."});
  const Parsed parsed = Parse(parser, QStringLiteral("sysex send"), arguments);
  if (parsed.exit) return *parsed.exit;
  if (parsed.words.size() != 1) return Fail("sysex send takes one FILE", kMistake);
  if (!parser.isSet("to")) return Fail("sysex send needs --to DEVICE", kMistake);
  bool pauseOk = true;
  const int pause = parser.isSet("pause") ? parser.value("pause").toInt(&pauseOk) : 0;
  if (!pauseOk || pause < 0 || pause > 60000)
    return Fail("--pause takes milliseconds from 0 to 60000", kMistake);

  const QString file = parsed.words.front();
  QByteArray bytes;
  try {
    bytes = ReadSysExFile(file);
  } catch (const Exception &e) {
    return Fail(e.Message());
  }
  const SysExCheck check = CheckSysEx(bytes);
  if (!check.Clean() && !parser.isSet("force"))
    return Fail(ShownFileName(file) + QStringLiteral(": ") + check.Summary() +
                    QStringLiteral("\nnot sent (--force sends it anyway)"),
                kCheckFaults);

  const std::unique_ptr<MidiBackend> backend = CreateMidiBackend(parser.value("midi-api"));
  QString error, device;
  const std::unique_ptr<TMidiOutput> output =
      OpenOutput(*backend, parser.value("to"), error, device);
  if (!output) return Fail(error);
  output->LiftHardwarePacing(parser.isSet("full-speed"));
  const MidiOutPacing wirePacing = output->WirePacing();
  if (wirePacing != MidiOutPacing::Service)
    Say(stderr,
        QStringLiteral("pacing: %1%2")
            .arg(WirePacingText(wirePacing), wirePacing == MidiOutPacing::HardwareWire
                                                 ? QStringLiteral(" (--full-speed lifts it)")
                                                 : QString()));
  const uint64_t overrunsBefore = output->Overruns();
  TSysExSender::Progress progress;
  const auto outcome =
      SendPaced(*output, bytes, {pause, parser.isSet("wire-speed")}, error, progress);
  const uint64_t overruns = OverrunsSince(overrunsBefore, output->Overruns());
  const QString done = QStringLiteral("%1 of %2 messages, %3 of %4 bytes")
                           .arg(progress.messagesSent)
                           .arg(progress.messageCount)
                           .arg(progress.bytesSent)
                           .arg(progress.byteCount);
  if (outcome == TSysExSender::Outcome::Cancelled)
    return Fail(
        QStringLiteral("cancelled after %1%2").arg(done, error.isEmpty() ? "" : ": " + error));
  if (outcome == TSysExSender::Outcome::Failed)
    return Fail(QStringLiteral("sending to %1 failed after %2: %3").arg(device, done, error));
  if (overruns > 0)
    return Fail(QStringLiteral("sent %1 to %2. %3")
                    .arg(check.Summary().section(';', 0, 0), device, SendOverrunWarning(overruns)));
  Say(stdout, QStringLiteral("sent %1 to %2").arg(check.Summary().section(';', 0, 0), device));
  return kAllWent;
}

// ---- receiving ----

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

int ReceiveCommand(const QStringList &arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      "Records the SysEx dump that arrives on the MIDI input DEVICE into FILE. Recording stops "
      "after a quiet time once something has arrived, at the time limit, or on Ctrl+C; the dump "
      "is then saved and checked. Exit status 0 when every byte came, 1 when not, 2 for a "
      "mistaken command line, 3 when the saved dump's check found faults.");
  parser.addPositionalArgument("FILE", "The .syx file to write (replaced when it exists).");
  parser.addOption(
      {"from", "The MIDI input: its number or its name (see kelvane devices).", "DEVICE"});
  parser.addOption({"request",
                    "Send the dump request in FILE (a small .syx file, or hex bytes) when "
                    "recording starts; needs --to.",
                    "FILE"});
  parser.addOption({"to", "The MIDI output the request goes to.", "DEVICE"});
  parser.addOption({"quiet-stop",
                    "Stop S seconds after the last byte, once something has arrived (default 2; "
                    "0: only the time limit or Ctrl+C stops).",
                    "S"});
  parser.addOption({"timeout",
                    "Stop after S seconds in all (default 60; 0: no limit). Reaching it with "
                    "nothing received, or while the dump still arrives, is a failure.",
                    "S"});
  const Parsed parsed = Parse(parser, QStringLiteral("sysex receive"), arguments);
  if (parsed.exit) return *parsed.exit;
  if (parsed.words.size() != 1) return Fail("sysex receive takes one FILE", kMistake);
  if (!parser.isSet("from")) return Fail("sysex receive needs --from DEVICE", kMistake);
  if (parser.isSet("request") && !parser.isSet("to"))
    return Fail("--request needs --to DEVICE, the output the request goes to", kMistake);
  const int quiet = SecondsOption(parser, "quiet-stop", kDefaultQuietSeconds);
  const int timeout = SecondsOption(parser, "timeout", kDefaultTimeoutSeconds);
  if (quiet < 0 || timeout < 0)
    return Fail("--quiet-stop and --timeout take whole seconds from 0 to 86400", kMistake);
  const QString file = parsed.words.front();

  QString error;
  std::optional<QByteArray> request;
  if (parser.isSet("request") && !(request = ReadRequest(parser.value("request"), error)))
    return Fail(error);

  const std::unique_ptr<MidiBackend> backend = CreateMidiBackend(parser.value("midi-api"));
  TMidiInput input(*backend);
  input.SetCapacity(2048);
  input.SetSysexBufferSize(5120);
  input.SetSysexBufferCount(512);
  input.SetSysexOnly(true);
  const QStringList names = input.DeviceNames();
  const std::optional<int> id =
      FindDevice(names, parser.value("from"), QStringLiteral("input"), error);
  if (!id) return Fail(error);
  const QString device = names[*id];
  try {
    input.SetDeviceID(static_cast<uint16_t>(*id));
  } catch (const Exception &e) {
    return Fail(e.Message());
  }
  input.OpenPort();
  if (!input.IsOpen())
    return Fail(QStringLiteral("cannot open the MIDI input %1: %2")
                    .arg(device, input.ErrorText(input.Error())));

  Reception r;
  input.OnMidiInput = [&](QObject *) { TakeInput(input, r); };
  input.OnOverflow = [&](QObject *) { r.lost = true; };
  r.recorder.OnQuiet = [&] { r.loop.quit(); };
  r.recorder.Start(quiet * 1000);
  QTimer limit;
  limit.setSingleShot(true);
  QObject::connect(&limit, &QTimer::timeout, &r.loop, [&] {
    r.timedOut = true;
    r.loop.quit();
  });
  if (timeout > 0) limit.start(timeout * 1000);
  QObject guard;
  RunOnTermination(&guard, [&] { r.loop.quit(); });
  input.StartInput();
  const uint64_t overrunsBefore = input.Overruns();

  std::unique_ptr<TMidiOutput> output;
  std::unique_ptr<TSysExSender> sender;
  QString requestError;
  if (request) {
    QString to;
    output = OpenOutput(*backend, parser.value("to"), error, to);
    if (!output) return Fail(error);
    sender = std::make_unique<TSysExSender>(*output);
    output->Onmidioutput = [&](QObject *) { sender->BlockEnded(output->LastError()); };
    sender->OnFinished = [&](TSysExSender::Outcome how, const QString &why) {
      if (how != TSysExSender::Outcome::Sent) requestError = why.isEmpty() ? "cancelled" : why;
    };
    sender->Start(*request, {});
  }
  r.loop.exec();
  r.recorder.Stop();
  input.OnMidiInput = nullptr;
  if (isatty(STDERR_FILENO)) std::fputs("\n", stderr);

  if (!requestError.isEmpty()) return Fail("the dump request was not sent: " + requestError);
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
  if (const uint64_t overruns = OverrunsSince(overrunsBefore, input.Overruns()))
    return Fail(saved + QStringLiteral(": ") + ReceiveOverrunWarning(overruns));
  if (r.timedOut && quiet > 0)
    return Fail(QStringLiteral("still receiving after %1 s: %2 holds the %3 that came")
                    .arg(timeout)
                    .arg(saved, check.Summary().section(';', 0, 0)));
  if (!check.Clean()) return Fail(saved + QStringLiteral(": ") + check.Summary(), kCheckFaults);
  Say(stdout, QStringLiteral("received %1 from %2 into %3").arg(check.Summary(), device, saved));
  return kAllWent;
}

int SysexCommand(QStringList arguments) {
  // The mode's own word comes first among the words left.
  for (int i = 1; i < arguments.size(); ++i) {
    if (arguments[i].startsWith('-')) continue;
    const QString action = arguments.takeAt(i);
    if (action == QStringLiteral("send")) return SendCommand(arguments);
    if (action == QStringLiteral("receive")) return ReceiveCommand(arguments);
    return Fail(QStringLiteral("unknown sysex command \"%1\"; it is send or receive").arg(action),
                kMistake);
  }
  const bool help = arguments.contains("--help") || arguments.contains("-h");
  Say(help ? stdout : stderr,
      QStringLiteral("Usage: kelvane sysex send FILE --to DEVICE [--pause MS] [--wire-speed] "
                     "[--full-speed] [--force]\n"
                     "       kelvane sysex receive FILE --from DEVICE [--request FILE --to "
                     "DEVICE] [--quiet-stop S] [--timeout S]\n"
                     "kelvane sysex send --help and kelvane sysex receive --help tell more."));
  return help ? kAllWent : kMistake;
}

}  // namespace

bool IsCommandWord(const QString &word) {
  return word == kDevices || word == kSysex;
}

int RunCommand(int argc, char **argv, int commandAt) {
  QCoreApplication app(argc, argv);
  QStringList arguments = QCoreApplication::arguments();
  const QString command = arguments.takeAt(commandAt);
  CatchTerminationSignals();
  if (command == kDevices) return DevicesCommand(arguments);
  return SysexCommand(arguments);
}
