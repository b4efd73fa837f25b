// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QKeySequence>
#include <QString>
#include <QStringList>

// The window's fixed texts: hints, list items, menu item names and shortcuts, the About text.
namespace hints {
inline constexpr const char *kBankKnob =
    "hold down mouse and drag left or right, shift + hold to tweak faster\r\n"
    "double click to go back to default\r\nctrl+click to set a new default";
inline constexpr const char *kSpeed = "speed of tweaking when using computer keyboard";
inline constexpr const char *kSnapshotButton = "Shift Click to record knob position, Click to fire";
inline constexpr const char *kSchemeButton =
    "Shift click to record knob setting scheme\r\nClick to select knob setting scheme\r\n"
    "What are saved in a scheme? knob settings, channel, midioutput";
inline constexpr const char *kComkeymode =
    "whether the computer keyboard controls knobs or MIDI keyboard";
inline constexpr const char *kKchannel =
    "when checked, the knobs will operate on their defined channels";
inline constexpr const char *kChannel = "channel that Kelvane is operating on";
inline constexpr const char *kSendbtn =
    "click and select the syx file and Kelvane will send data to the out port";
inline constexpr const char *kGetBtn =
    "click and enter the file name you want to save your sysex data in then start sysex dump "
    "from your MIDI device";
inline constexpr const char *kMidiout = "select MIDI output";
inline constexpr const char *kMidiin = "select MIDI input";
inline constexpr const char *kMidiapi =
    "MIDI service (JACK, ALSA sequencer...), used from the next start";
inline constexpr const char *kKnobbox = "select knob";
inline constexpr const char *kKnobchannel = "knob channel";
inline constexpr const char *kEdit1 = "knob name";
inline constexpr const char *kNamecolor = "knob name color";
inline constexpr const char *kCtrl = "MIDI message type";
inline constexpr const char *kCtrlno = "Control Change Number";
inline constexpr const char *kFontbtn = "change font of Kelvane";
inline constexpr const char *kShowhint = "enable/disable hints";
inline constexpr const char *kPole = "north-south or east-west tweaking";
inline constexpr const char *kVel = "velocity of MIDI keyboard";
inline constexpr const char *kVelrnd = "Velocity random";
inline constexpr const char *kPlaymode = "F3,F4=octave, F7,F8=semi, NumPad0-9=playmode";
inline constexpr const char *kInterval = "interval mode type ";
}  // namespace hints

// The 33 entries of `channel` and `knobchannel`; the index, not the label, is what counts.
QStringList ChannelItems();
QStringList PlaymodeItems();
QStringList IntervalItems();
// The message types of `ctrl`; item i belongs to status base 160 + 16 * i.
QStringList CtrlItems();

// The hidden snapshot item with `tag` 1..32 ("ss11" ... "ss291", "ss102", "ss311", "ss321") and
// its shortcut (the number row and two letter rows of a US keyboard, left to right).
QString SnapshotItemName(int tag);
QKeySequence SnapshotShortcut(int tag);
// The hidden scheme item with `tag` 1..12 ("s1", "s21" ... "s121").
QString SchemeItemName(int tag);

// The About page's text when there is no readme.txt beside the program.
QString FixedAboutText();

// The output list's entry for Kelvane's own port, which other programs connect to.
inline constexpr const char *kVirtualPortEntry =
    "Kelvane (virtual port: other programs connect to it)";
// Under what the MIDI services answered, when there is no device at all.
inline constexpr const char *kNoDeviceAdvice =
    "Start a JACK server or connect a synth: the lists fill by themselves.";
// The status bar's word on a chosen device that went away, and that came back.
QString DeviceGoneText(const QString &name);
QString DeviceBackText(const QString &name);
