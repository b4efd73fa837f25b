// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// kelvane devices: the MIDI outputs and inputs, numbered and named as --to and --from take them.
#include <QCommandLineParser>

#include "CommandParts.h"
#include "MidiBackends.h"
#include "MidiIn.h"
#include "MidiOut.h"

namespace {

void ListDevices(const QString &heading, const QStringList &names) {
  Say(stdout, heading);
  if (names.isEmpty()) Say(stdout, QStringLiteral("  (none)"));
  for (int i = 0; i < names.size(); ++i)
    Say(stdout, QStringLiteral("%1  %2").arg(i, 3).arg(names[i]));
}

// With no service working, what each one answered.
void SayWhatTheServicesAnswered(const MidiBackend &backend) {
  Say(stderr, QStringLiteral("kelvane: no MIDI service works here"));
  QStringList tried{MidiServiceTitle(backend.Api()) + QStringLiteral(": ") +
                    MidiServiceAbsence(backend.Api())};
  tried << backend.TriedServices();
  for (const QString &line : tried) Say(stderr, QStringLiteral("  ") + line);
}

}  // namespace

int DevicesCommand(const QStringList &arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      "Lists the MIDI output and input devices with the numbers and names that --to and "
      "--from take.");
  const Parsed parsed = ParseCommand(parser, kDevicesMode, QStringLiteral("devices"), arguments);
  if (parsed.exit) return *parsed.exit;
  if (!parsed.words.isEmpty()) return Fail("devices takes no FILE or other word", kMistake);
  const std::unique_ptr<MidiBackend> backend = CreateMidiBackend(parser.value("midi-api"));
  TMidiOutput output(*backend);
  TMidiInput input(*backend);
  ListDevices(QStringLiteral("outputs:"), output.DeviceNames());
  ListDevices(QStringLiteral("inputs:"), input.DeviceNames());
  if (!backend->Answers()) SayWhatTheServicesAnswered(*backend);
  return kAllWent;
}
