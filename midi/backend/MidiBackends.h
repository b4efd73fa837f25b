// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

#include "MidiBackend.h"

// The MIDI services compiled into Kelvane, and the one to open.

// The musician's name for a service ("JACK", "ALSA sequencer").
QString MidiServiceTitle(const QString &api);
// What a service that does not answer said the last time Kelvane asked, in a few words: its own
// answer where it gives one ("the server refused the client"), else what it lacks ("no server
// answers").
QString MidiServiceAbsence(const QString &api);

// "jack", "alsa", "coremidi", "winmm", "loopback", or "" = the first compiled API that really
// works. Never null: with no working API (or an unknown name), a backend with no devices.
std::unique_ptr<MidiBackend> CreateMidiBackend(const QString &api);
// The names CreateMidiBackend accepts, compiled services first in probing order.
QStringList MidiBackendApis();
