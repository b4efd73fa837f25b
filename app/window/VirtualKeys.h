// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QChar>
#include <QString>
#include <cstdint>

class QKeyEvent;

// The one place where Qt's key events become the virtual-key codes the engine and the window's
// key handlers speak (0x5A for Z, 0xBC for comma, 0x60..0x69 for the keypad digits, ...).
//
// The character keys are taken by their physical position where the platform reports scan
// codes (X11 and Wayland: evdev code + 8; Windows: set-1 scan code), so the note and knob keys
// sit where a US keyboard has them on any layout. Elsewhere (offscreen, tests) the key code is
// used.
uint16_t VirtualKeyOf(const QKeyEvent &event);

// The character a US keyboard gives for the key's position with the event's Shift state, or the
// event's own text when the key has no such position; a null character when there is none.
QChar UsCharacterOf(const QKeyEvent &event);

// The same for an event of the named Qt platform ("xcb", "wayland", "windows", "offscreen",
// ...), which says how its native scan codes are numbered. The overloads above pass the running
// platform's name.
uint16_t VirtualKeyOf(const QKeyEvent &event, const QString &platform);
QChar UsCharacterOf(const QKeyEvent &event, const QString &platform);

// The same lookups from a platform-neutral scan code (set 1 / evdev numbering); 0 when the
// code is not a character key of the main block.
uint16_t VirtualKeyOfScanCode(uint32_t scanCode);
QChar UsCharacterOfScanCode(uint32_t scanCode, bool shifted);
