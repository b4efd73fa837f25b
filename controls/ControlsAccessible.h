// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QObject;

// What screen readers see of the window's own controls: a knob is a dial and a value box a
// slider, each named by its label, with its value and range, announcing every change. Qt hands
// them to the platform's accessibility service (AT-SPI on Linux desktops).

// Makes Qt describe knobs and value boxes by the interfaces above; once per process is enough,
// and more calls do nothing.
void InstallControlsAccessibility();

// Tells a listening screen reader that `control` now holds `value`; nothing when none listens.
void NotifyValueChanged(QObject *control, int value);
