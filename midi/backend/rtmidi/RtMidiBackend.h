// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>
#include <memory>

#include "MidiBackend.h"

// The services RtMidi was built with on this platform, in probing order.
QStringList CompiledRtMidiApis();
// The backend for `api` ("jack", "alsa", "coremidi", "winmm"), or null when RtMidi lacks it.
// With `mustWork`, null also unless the service answers now.
std::unique_ptr<MidiBackend> CreateRtMidiBackend(const QString &api, bool mustWork);
