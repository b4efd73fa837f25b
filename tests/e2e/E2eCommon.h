// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What every end-to-end test shares, whatever MIDI service it runs on: the real kelvane
// executable on the private X display, driven with real X input (xdotool), readers for the
// settings file and the MIDI stream, and the SysEx page's dialogs.
//
// Everything runs on the test's main thread.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QImage>
#include <QMap>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "SysExBytes.h"

namespace e2e {

// Polls `condition` every few milliseconds until it holds or `timeoutMs` has passed.
bool WaitUntil(const std::function<bool()> &condition, int timeoutMs = 10000);
// Lets `ms` pass: only for the short quiet periods that show nothing more arrives.
void Settle(int ms = 300);
// Makes every wait of WaitUntil and Settle `factor` times as long, for a slower machine.
void SetTimeScale(int factor);

// ":N", the private display of this test run (written by tests/support/xvfb-server.sh).
QString XDisplay();
// Runs xdotool on the private display and returns its standard output; a failure is reported.
QString Xdo(const QStringList &arguments);

// A settings file as sections of values, names matched without regard to case.
class IniFile {
 public:
  static IniFile Read(const QString &fileName);
  // Writes `text` as the whole file.
  static void Write(const QString &fileName, const QByteArray &text);
  std::optional<QString> Value(const QString &section, const QString &name) const;
  QString ValueOr(const QString &section, const QString &name, const QString &missing) const;
  bool Exists() const { return exists_; }

 private:
  bool exists_ = false;
  QMap<QString, QMap<QString, QString>> sections_;  // lower-case names
};

// The messages of a recorded byte stream: a status byte starts a message, SysEx runs from F0
// to F7.
std::vector<QByteArray> SplitMessages(const QByteArray &stream);
QByteArray Bytes(std::initializer_list<int> values);
std::string Hex(const QByteArray &bytes);

// The running program: one kelvane process with one settings file, its window found on the
// private display, and the user's mouse and keyboard on it.
class Kelvane {
 public:
  explicit Kelvane(QString settingsFile);
  ~Kelvane();
  Kelvane(const Kelvane &) = delete;
  Kelvane &operator=(const Kelvane &) = delete;

  void Start();
  // The MIDI service the next Start names on the command line ("jack" unless set); with none
  // named, Kelvane uses the one its settings name.
  void SetMidiApi(const QString &api) { midiApi_ = api; }
  // An environment variable for the next Start, beside those Start sets.
  void SetEnvironment(const QString &name, const QString &value) { extraEnv_[name] = value; }
  // Waits until the main window (529 x 195) is shown; then it is focused for keyboard input.
  bool WaitForWindow(int timeoutMs = 15000);
  // A visible window of this process other than the main window whose title matches the
  // regular expression `title`.
  std::optional<qulonglong> WaitForDialog(const QString &title, int timeoutMs = 10000);
  bool WindowGone(qulonglong window) const;
  bool MainWindowVisible() const;
  // Gives `window` the keyboard focus and waits until the X server reports it.
  bool Focus(qulonglong window);
  bool FocusMain() { return Focus(window_); }

  qulonglong Window() const { return window_; }
  // Where the window's client area begins on the screen.
  QPoint Origin() const { return origin_; }
  // The top-left corner of the tab pages in window coordinates, found in a screenshot.
  QPoint PageOrigin();
  QImage Screenshot(const QString &saveAs = {}) const { return Screenshot(window_, saveAs); }
  QImage Screenshot(qulonglong window, const QString &saveAs) const;
  // Which page is shown, told by what the screenshot shows where the pages differ.
  bool ShowsSetupPage();
  bool ShowsKnobPage();
  // Shows page `index` of the tab strip (0 the knob page .. 4 About) with the mouse wheel.
  void ShowPage(int index);

  // Mouse and keys; positions are in window coordinates.
  void MoveTo(QPoint at) const;
  void Press(int button = 1) const;
  void Release(int button = 1) const;
  void Click(QPoint at, const QString &modifier = {}, int button = 1) const;
  void Key(const QString &keys) const;
  void KeyDown(const QString &keys) const;
  void KeyUp(const QString &keys) const;
  void Type(const QString &text) const;

  // Closes the window as a window manager does when the user clicks its close box.
  void CloseWindow() const;
  // kill -TERM.
  void Terminate();
  // Waits for the process to end; true when it ended normally with exit code 0.
  bool WaitForExit(int timeoutMs = 15000);
  bool Running() const { return process_.state() != QProcess::NotRunning; }
  qint64 ProcessId() const { return process_.processId(); }
  QString Output();

 private:
  std::vector<qulonglong> VisibleWindows(const QString &title) const;
  static std::optional<QRect> Geometry(qulonglong window);

  // What a test still holds down when it ends early: released, so that no key or button stays
  // down on the display for the next test.
  void ReleaseHeld();

  QString settingsFile_;
  QString midiApi_ = QStringLiteral("jack");
  QMap<QString, QString> extraEnv_;
  mutable QStringList heldKeys_;
  mutable bool buttonHeld_ = false;
  QProcess process_;
  QString output_;
  qulonglong window_ = 0;
  QPoint origin_;
  std::optional<QPoint> pageOrigin_;
};

// Answers the file dialog titled `title` by typing `path` and Return, and waits until it is gone.
void AnswerFileDialog(Kelvane &app, const QString &title, const QString &path);

// The SysEx page: its place in the tab strip and the centres of its buttons in page coordinates.
namespace sysexpage {
constexpr int kPage = 2;
const QPoint kSend(96, 24);
const QPoint kReceive(272, 24);
const QPoint kDone(184, 64);
const QPoint kCancel(494, 14);
}  // namespace sysexpage

// With the SysEx page shown: sends `file` through the send button and its dialog.
void SendSysExFile(Kelvane &app, const QString &file);
// With the SysEx page shown: starts a recording into `file` (named without ".syx") through the
// receive button and its dialog, and waits until the reception runs.
void StartRecording(Kelvane &app, const QString &file);
// Ends the recording with the done button; what was saved in `file` + ".syx".
// `overran` (if given) tells whether the window said that the server overran meanwhile.
QByteArray FinishRecording(Kelvane &app, const QString &file, bool *overran = nullptr);
// Whether the done button is enabled (a reception runs).
bool DoneButtonEnabled(Kelvane &app);

// The whole file (empty when it cannot be read).
QByteArray ReadFile(const QString &fileName);

// Where screenshots and other artefacts of the run are kept (in the build tree).
QString ArtefactDir();

}  // namespace e2e
