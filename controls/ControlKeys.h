// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QRect>
#include <optional>

class QKeyEvent;
class QPainter;
class QWheelEvent;

// The keys and the wheel that turn a focused knob or value box, shared by both controls:
// Up or Right one step up, Down or Left one step down, Page Up and Page Down one large step,
// Home and End to the ends. Only these keys, alone or with Shift, and never from the keypad: every
// letter, digit, punctuation mark and keypad key stays with the window's knob and note keys.

// The value `key` turns a control at `position` (range min..max) to, clamped to the range;
// nothing when the key does not turn a control.
std::optional<int> KeyTurnTarget(const QKeyEvent &key, int position, int min, int max,
                                 int largeStep);

// Whole wheel notches in `wheel` (up or right positive), keeping the part of a notch that
// smooth-scrolling devices send in `remainder` for the next event.
int WheelNotches(const QWheelEvent &wheel, int &remainder);

// The ring a knob or value box draws around itself while it has the keyboard focus.
void DrawFocusRing(QPainter &painter, const QRect &area, const QColor &colour);
