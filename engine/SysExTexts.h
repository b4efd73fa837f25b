// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <cstdint>

enum class MidiOutPacing;

// Which pacing the service puts on SysEx to the device and why ("hardware port: MIDI wire
// speed"); empty when it sends as fast as the device takes it.
QString WirePacingText(MidiOutPacing pacing);
// The warnings for a transfer, or a recording, during which the service overran `overruns` times.
QString SendOverrunWarning(uint64_t overruns);
QString ReceiveOverrunWarning(uint64_t overruns);
// Overruns counted between two looks at a port (a port that reopened may count afresh).
inline uint64_t OverrunsSince(uint64_t start, uint64_t now) {
  return now > start ? now - start : 0;
}
