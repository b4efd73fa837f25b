// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "SysExTexts.h"

#include "MidiOut.h"

QString WirePacingText(MidiOutPacing pacing) {
  switch (pacing) {
    case MidiOutPacing::HardwareWire:
      return QStringLiteral("hardware port: MIDI wire speed");
    case MidiOutPacing::HardwareLifted:
      return QStringLiteral("hardware port marked fast: full speed");
    case MidiOutPacing::Service:
      break;
  }
  return {};
}

QString SendOverrunWarning(uint64_t overruns) {
  return QStringLiteral(
             "The MIDI service overran %1 time(s) during the transfer: the synth may have missed "
             "data and should get the file again")
      .arg(overruns);
}

QString ReceiveOverrunWarning(uint64_t overruns) {
  return QStringLiteral(
             "The MIDI service overran %1 time(s) while the dump was recorded: data may be "
             "missing; have the synth send it again")
      .arg(overruns);
}
