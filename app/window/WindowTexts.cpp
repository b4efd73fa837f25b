// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowTexts.h"

QStringList ChannelItems() {
  return {" ch 1",  " ch 2 ", " ch 3",  " ch 4 ", " ch 5",  " ch 6",  " ch 7",  " ch 8 ", " ch 9",
          " ch 10", " ch 11", " ch 12", " ch 13", " ch 14", " ch 15", " ch 16", " ch 17", " ch 18",
          " ch 18", " ch 19", " ch 20", " ch 21", " ch 22", " ch 23", " ch 24", " ch 25", " ch 26 ",
          " ch 27", " ch 28", " ch 29", " ch 30", " ch 31", " ch 32"};
}

QStringList PlaymodeItems() {
  return {"Note",       "Major",       "Minor",    "Major7th", "Minor7th", "Minor7th5",
          "Diminished", "Dominant7th", "Major9th", "Minor9th", "Interval"};
}

QStringList IntervalItems() {
  return {"2nd", "3rd", "4th", "5th", "6th", "7th", "8th"};
}

QStringList CtrlItems() {
  return {"PolyAftertouch", "ControlChange", "ProgramChange", "ChannelAfterTouch"};
}

QString SnapshotItemName(int tag) {
  return tag == 30 ? QStringLiteral("ss102") : QStringLiteral("ss%1").arg(tag) + u'1';
}

QKeySequence SnapshotShortcut(int tag) {
  static const Qt::Key keys[32] = {
      Qt::Key_1,     Qt::Key_2,     Qt::Key_3,         Qt::Key_4,           Qt::Key_5,
      Qt::Key_6,     Qt::Key_7,     Qt::Key_8,         Qt::Key_9,           Qt::Key_0,
      Qt::Key_Minus, Qt::Key_Equal, Qt::Key_Backslash, Qt::Key_Q,           Qt::Key_W,
      Qt::Key_E,     Qt::Key_R,     Qt::Key_T,         Qt::Key_Y,           Qt::Key_U,
      Qt::Key_I,     Qt::Key_O,     Qt::Key_P,         Qt::Key_BracketLeft, Qt::Key_BracketRight,
      Qt::Key_A,     Qt::Key_S,     Qt::Key_D,         Qt::Key_F,           Qt::Key_G,
      Qt::Key_H,     Qt::Key_J};
  return QKeySequence(Qt::CTRL | keys[tag - 1]);
}

QString SchemeItemName(int tag) {
  return tag == 1 ? QStringLiteral("s1") : QStringLiteral("s%1").arg(tag) + u'1';
}

QString FixedAboutText() {
  return QStringLiteral(
      "Kelvane, a desktop MIDI controller, by the Kelvane developers\r\n"
      "Please report bugs, give suggestions, and ask before putting Kelvane on a CD "
      "compilation\r\n"
      "Contact: the Kelvane developers through the project's issue tracker\r\n"
      "The Kelvane developers make other small MIDI tools as well\r\n"
      "Home page: the Kelvane project page\r\n"
      "Please read Readme.txt to learn how to support the further development of Kelvane");
}

QString DeviceGoneText(const QString &name) {
  return name + QStringLiteral(" is gone; Kelvane will use it again when it is back");
}

QString DeviceBackText(const QString &name) {
  return name + QStringLiteral(" is back; Kelvane uses it again");
}
