// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// On X11, asks the server for detectable auto-repeat: a held key then repeats as key presses
// only, with one release when it is really let go (as other systems do), instead of the
// release-press pairs that Qt must tell from real ones by peeking its queue, which under load
// it sometimes cannot. Does nothing on other platforms.
void UseDetectableAutoRepeat();
