// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>

// How MIDI messages read to a musician: the common names of controllers and SysEx
// manufacturers, and one message as the monitor's columns show it.

// The common name of Control Change `number` ("Volume" for 7, "Brightness" for 74); empty for
// numbers without one.
QString ControllerName(int number);

// The manufacturer named by the ID that starts a SysEx message's body (one byte, or three when
// the first is 0); "ID 41" style hex for IDs without a name here. `body` is what follows F0.
QString ManufacturerName(const uint8_t *body, size_t length);

// One message split into the monitor's columns.
struct MessageColumns {
  QString channel;  // "1".."16", empty for system messages
  QString type;     // "ControlChange", "NoteOn", "SysEx", ...
  QString data;     // the data bytes in decimal, or "Roland, 266 bytes" for SysEx
  QString name;     // what the data means: the controller's name, a note's name
};

// `bytes` is one whole short message, or a SysEx message or piece of one (a piece that does not
// start with F0 continues the message before it).
MessageColumns DescribeMessage(const uint8_t *bytes, size_t length);

// "C4" for note 60.
QString NoteName(int note);
