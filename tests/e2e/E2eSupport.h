// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the end-to-end tests share: the real kelvane executable on the private X display, driven
// with real X input (xdotool), its MIDI ports on the private JACK server, a JACK peer that records
// what arrives and sends dumps, and readers for the settings file and the MIDI stream.
//
// Everything runs on the test's main thread; the only other threads are JACK's (inside the peer).

#include <gtest/gtest.h>
#include <jack/jack.h>

#include <QByteArray>
#include <QImage>
#include <QMap>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "JackPeer.h"
#include "SysExBytes.h"

namespace e2e {

// Polls `condition` every few milliseconds until it holds or `timeoutMs` has passed.
bool WaitUntil(const std::function<bool()> &condition, int timeoutMs = 10000);
// Lets `ms` pass: only for the short quiet periods that show nothing more arrives.
void Settle(int ms = 300);

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

// The JACK graph as Kelvane sees it: its output devices are the MIDI input ports of the server
// and its input devices the MIDI output ports, in the server's order.
class JackGraph {
 public:
  JackGraph();
  ~JackGraph();
  JackGraph(const JackGraph &) = delete;
  JackGraph &operator=(const JackGraph &) = delete;

  bool Ok() const { return client_ != nullptr; }
  // Index of `port` in Kelvane's output device list (-1 when absent).
  int OutputDeviceIndex(const std::string &port) const;
  // Index of `port` in Kelvane's input device list (-1 when absent).
  int InputDeviceIndex(const std::string &port) const;
  // Whether `port` is connected to a port of Kelvane's own clients.
  bool ConnectedToKelvane(const std::string &port) const;
  std::vector<std::string> Connections(const std::string &port) const;

 private:
  int IndexOf(unsigned long flags, const std::string &port) const;
  jack_client_t *client_ = nullptr;
};

// The peer every test talks to, with the port names Kelvane lists.
class Peer : public JackPeer {
 public:
  Peer() : JackPeer("e2e-peer") {}
  std::string InPort() const { return Name() + ":in"; }
  std::string OutPort() const { return Name() + ":out"; }
  std::vector<QByteArray> Messages() { return SplitMessages(Received()); }
  size_t MessageCount() { return Messages().size(); }
  // Waits until `count` messages have arrived in all.
  bool WaitForMessages(size_t count, int timeoutMs = 10000);
};

// The running program: one kelvane process with one settings file, its window found on the
// private display, and the user's mouse and keyboard on it.
class Kelvane {
 public:
  explicit Kelvane(QString settingsFile);
  ~Kelvane();
  Kelvane(const Kelvane &) = delete;
  Kelvane &operator=(const Kelvane &) = delete;

  void Start();
  // An environment variable for the next Start, beside those Start sets.
  void SetEnvironment(const QString &name, const QString &value) { extraEnv_[name] = value; }
  // The --midi-api the next Start passes ("jack"); empty: none, as a musician starts it.
  void SetMidiApi(const QString &api) { midiApi_ = api; }
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
  QString Output();

 private:
  std::vector<qulonglong> VisibleWindows(const QString &title) const;
  static std::optional<QRect> Geometry(qulonglong window);

  // What a test still holds down when it ends early: released, so that no key or button stays
  // down on the display for the next test.
  void ReleaseHeld();

  QString settingsFile_;
  QMap<QString, QString> extraEnv_;
  QString midiApi_ = QStringLiteral("jack");
  mutable QStringList heldKeys_;
  mutable bool buttonHeld_ = false;
  QProcess process_;
  QString output_;
  qulonglong window_ = 0;
  QPoint origin_;
  std::optional<QPoint> pageOrigin_;
};

// The settings a test starts with when Kelvane is to use the peer for output and input: the
// output device, the input device and horizontal dragging.
QByteArray PeerSettings(const JackGraph &graph, const Peer &peer, const QByteArray &more = {});

// Answers the file dialog titled `title` by typing `path` and Return, and waits until it is gone.
void AnswerFileDialog(Kelvane &app, const QString &title, const QString &path);

// Every end-to-end test: a temporary folder with the settings file, the JACK graph and the peer.
class E2eTest : public ::testing::Test {
 protected:
  void SetUp() override;
  // Starts `app`, waits for its window and for its output and input ports on the peer.
  void StartConnected(Kelvane &app);

  QTemporaryDir dir;
  QString settings = dir.filePath("kelvane.ini");
  JackGraph graph;
  Peer peer;
};

// Where screenshots and other artefacts of the run are kept (in the build tree).
QString ArtefactDir();

}  // namespace e2e
