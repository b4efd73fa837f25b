// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "VirtualKeys.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <array>
#include <optional>

namespace {

struct Position {
  uint16_t virtualKey;
  char plain, shifted;
};

// Main-block character keys by set-1 scan code (equal to the Linux evdev code).
const std::array<Position, 64> &Positions() {
  static const std::array<Position, 64> table = [] {
    std::array<Position, 64> t{};
    auto put = [&t](int code, uint16_t vk, char plain, char shifted) {
      t[code] = Position{vk, plain, shifted};
    };
    const char *digits = "1234567890", *shiftedDigits = "!@#$%^&*()";
    for (int i = 0; i < 10; ++i)
      put(2 + i, static_cast<uint16_t>(digits[i]), digits[i], shiftedDigits[i]);
    put(12, 0xBD, '-', '_');
    put(13, 0xBB, '=', '+');
    const char *top = "qwertyuiop", *home = "asdfghjkl", *bottom = "zxcvbnm";
    for (int i = 0; top[i]; ++i) put(16 + i, top[i] - 32, top[i], top[i] - 32);
    put(26, 0xDB, '[', '{');
    put(27, 0xDD, ']', '}');
    for (int i = 0; home[i]; ++i) put(30 + i, home[i] - 32, home[i], home[i] - 32);
    put(39, 0xBA, ';', ':');
    put(40, 0xDE, '\'', '"');
    put(41, 0xC0, '`', '~');
    put(43, 0xDC, '\\', '|');
    for (int i = 0; bottom[i]; ++i) put(44 + i, bottom[i] - 32, bottom[i], bottom[i] - 32);
    put(51, 0xBC, ',', '<');
    put(52, 0xBE, '.', '>');
    put(53, 0xBF, '/', '?');
    put(57, 0x20, ' ', ' ');
    return t;
  }();
  return table;
}

// The event's scan code in set-1 numbering, or nothing when the platform gives none. X11 and
// Wayland report the evdev code + 8 (the X keycode); Windows reports the set-1 code with bit 8
// marking the extended keys (keypad Enter and /, the arrows, right Ctrl and Alt), which are not
// character keys of the main block.
std::optional<uint32_t> ScanCodeOf(const QKeyEvent &event, const QString &platform) {
  const uint32_t native = event.nativeScanCode();
  if (native == 0) return std::nullopt;
  if (platform == u"xcb" || platform.startsWith(u"wayland")) return native > 8 ? native - 8 : 0;
  if (platform == u"windows" || platform == u"direct2d")
    return (native & 0x100) ? 0 : native & 0xFF;
  return std::nullopt;
}

// The virtual keys of the character keys: letters, digits and the punctuation keys.
bool IsCharacterKey(uint16_t vk) {
  return (vk >= 0x30 && vk <= 0x39) || (vk >= 0x41 && vk <= 0x5A) || (vk >= 0xBA && vk <= 0xC0) ||
         (vk >= 0xDB && vk <= 0xDE);
}

uint16_t VirtualKeyOfQtKey(const QKeyEvent &event) {
  const int key = event.key();
  const bool keypad = event.modifiers() & Qt::KeypadModifier;
  if (keypad && key >= Qt::Key_0 && key <= Qt::Key_9) return 0x60 + (key - Qt::Key_0);
  if (keypad) {
    // The keypad's own virtual keys, so that its "/", "." and "-" never play the notes of the
    // main block's keys of the same character.
    switch (key) {
      case Qt::Key_Asterisk:
        return 0x6A;
      case Qt::Key_Plus:
        return 0x6B;
      case Qt::Key_Minus:
        return 0x6D;
      case Qt::Key_Period:
      case Qt::Key_Comma:
        return 0x6E;
      case Qt::Key_Slash:
        return 0x6F;
      case Qt::Key_Enter:
        return 0x0D;
      default:
        break;  // without NumLock: the navigation keys below
    }
  }
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return static_cast<uint16_t>(key);
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return static_cast<uint16_t>(key);
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return 0x70 + (key - Qt::Key_F1);
  switch (key) {
    case Qt::Key_Space:
      return 0x20;
    case Qt::Key_Backspace:
      return 0x08;
    case Qt::Key_Tab:
      return 0x09;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return 0x0D;
    case Qt::Key_Escape:
      return 0x1B;
    case Qt::Key_Shift:
      return 0x10;
    case Qt::Key_Control:
      return 0x11;
    case Qt::Key_Alt:
      return 0x12;
    case Qt::Key_Left:
      return 0x25;
    case Qt::Key_Up:
      return 0x26;
    case Qt::Key_Right:
      return 0x27;
    case Qt::Key_Down:
      return 0x28;
    case Qt::Key_PageUp:
      return 0x21;
    case Qt::Key_PageDown:
      return 0x22;
    case Qt::Key_End:
      return 0x23;
    case Qt::Key_Home:
      return 0x24;
    case Qt::Key_Insert:
      return 0x2D;
    case Qt::Key_Delete:
      return 0x2E;
    case Qt::Key_Clear:
      return 0x0C;
    case Qt::Key_Comma:
    case Qt::Key_Less:
      return 0xBC;
    case Qt::Key_Period:
    case Qt::Key_Greater:
      return 0xBE;
    case Qt::Key_Semicolon:
    case Qt::Key_Colon:
      return 0xBA;
    case Qt::Key_Slash:
    case Qt::Key_Question:
      return 0xBF;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft:
      return 0xDB;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight:
      return 0xDD;
    case Qt::Key_Backslash:
    case Qt::Key_Bar:
      return 0xDC;
    case Qt::Key_Equal:
    case Qt::Key_Plus:
      return 0xBB;
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
      return 0xBD;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl:
      return 0xDE;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde:
      return 0xC0;
    default:
      return 0;
  }
}

}  // namespace

uint16_t VirtualKeyOfScanCode(uint32_t scanCode) {
  return scanCode < Positions().size() ? Positions()[scanCode].virtualKey : 0;
}

QChar UsCharacterOfScanCode(uint32_t scanCode, bool shifted) {
  if (scanCode >= Positions().size() || Positions()[scanCode].virtualKey == 0) return {};
  const Position &p = Positions()[scanCode];
  return QChar::fromLatin1(shifted ? p.shifted : p.plain);
}

uint16_t VirtualKeyOf(const QKeyEvent &event, const QString &platform) {
  // The keypad has keys of its own, whatever the layout; never take them by position.
  if (event.modifiers() & Qt::KeypadModifier) return VirtualKeyOfQtKey(event);
  const std::optional<uint32_t> scanCode = ScanCodeOf(event, platform);
  if (!scanCode) return VirtualKeyOfQtKey(event);
  if (uint16_t vk = VirtualKeyOfScanCode(*scanCode)) return vk;
  // A character key that a US keyboard has not got (the key beside the left Shift of ISO
  // keyboards, the extra keys of Brazilian and Japanese ones) is no note key, even when its
  // layout gives it the character of a US key elsewhere; the other keys keep their own codes.
  const uint16_t vk = VirtualKeyOfQtKey(event);
  return IsCharacterKey(vk) ? 0 : vk;
}

QChar UsCharacterOf(const QKeyEvent &event, const QString &platform) {
  // Ctrl and Alt combinations give no character on any layout.
  if (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return {};
  if (!(event.modifiers() & Qt::KeypadModifier)) {
    if (const std::optional<uint32_t> scanCode = ScanCodeOf(event, platform)) {
      const QChar c = UsCharacterOfScanCode(*scanCode, event.modifiers() & Qt::ShiftModifier);
      if (!c.isNull()) return c;
      if (IsCharacterKey(VirtualKeyOfQtKey(event))) return {};
    }
  }
  return event.text().isEmpty() ? QChar() : event.text().front();
}

uint16_t VirtualKeyOf(const QKeyEvent &event) {
  return VirtualKeyOf(event, QGuiApplication::platformName());
}

QChar UsCharacterOf(const QKeyEvent &event) {
  return UsCharacterOf(event, QGuiApplication::platformName());
}
