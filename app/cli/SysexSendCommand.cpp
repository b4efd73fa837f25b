// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// kelvane sysex send FILE: the SysEx page's sending, from a terminal.
#include <QCommandLineParser>
#include <QEventLoop>
#include <QTimer>

#include "CommandParts.h"
#include "Exception.h"
#include "MidiBackends.h"
#include "MidiOut.h"
#include "SysExCheck.h"
#include "SysExFile.h"
#include "SysExSender.h"
#include "SysExTexts.h"
#include "TerminationSignals.h"

namespace {

// After the last block has left: one more server cycle or so, for it to reach the other end
// before our ports close.
constexpr int kLingerMs = 100;

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

void SayPacing(const TMidiOutput &output) {
  const MidiOutPacing wirePacing = output.WirePacing();
  if (wirePacing == MidiOutPacing::Service) return;
  Say(stderr, QStringLiteral("pacing: %1%2")
                  .arg(WirePacingText(wirePacing), wirePacing == MidiOutPacing::HardwareWire
                                                       ? QStringLiteral(" (--full-speed lifts it)")
                                                       : QString()));
}

// The exit status of a sending, said on the way.
int SendingOutcome(TSysExSender::Outcome outcome, const TSysExSender::Progress &progress,
                   const QString &error, const QString &device, const QString &summary,
                   uint64_t overruns) {
  const QString done = QStringLiteral("%1 of %2 messages, %3 of %4 bytes")
                           .arg(progress.messagesSent)
                           .arg(progress.messageCount)
                           .arg(progress.bytesSent)
                           .arg(progress.byteCount);
  const QString sent = summary.section(';', 0, 0);
  if (outcome == TSysExSender::Outcome::Cancelled)
    return Fail(
        QStringLiteral("cancelled after %1%2").arg(done, error.isEmpty() ? "" : ": " + error));
  if (outcome == TSysExSender::Outcome::Failed)
    return Fail(QStringLiteral("sending to %1 failed after %2: %3").arg(device, done, error));
  if (overruns > 0)
    return Fail(
        QStringLiteral("sent %1 to %2. %3").arg(sent, device, SendOverrunWarning(overruns)));
  Say(stdout, QStringLiteral("sent %1 to %2").arg(sent, device));
  return kAllWent;
}

}  // namespace

int SysexSendCommand(const QStringList &arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      "Sends the SysEx messages of FILE (a .syx file) to the MIDI output DEVICE, message by "
      "message. The file is checked first: a message without F7, bytes outside F0...F7 or a "
      "wrong Roland data-set checksum stop it unless --force is given. Exit status 0 when "
      "every byte went, 1 when not (or the MIDI service overran meanwhile), 2 for a mistaken "
      "command line, 3 when the check stopped it.");
  parser.addPositionalArgument("FILE", "The .syx file to send.");
  const Parsed parsed =
      ParseCommand(parser, kSysexSendMode, QStringLiteral("sysex send"), arguments);
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
  SayPacing(*output);
  const uint64_t overrunsBefore = output->Overruns();
  TSysExSender::Progress progress;
  const auto outcome =
      SendPaced(*output, bytes, {pause, parser.isSet("wire-speed")}, error, progress);
  return SendingOutcome(outcome, progress, error, device, check.Summary(),
                        OverrunsSince(overrunsBefore, output->Overruns()));
}
