// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Real X input where X11 differs from other desktops: the right and middle buttons let go on the
// scheme buttons and the speed knob, and the window's shortcuts while a text box has the focus.

#include <QProcess>

#include "E2eSupport.h"

namespace e2e {
namespace {

// Window coordinates of scheme buttons 1 and 2; panel coordinates of the speed knob's centre,
// of a bare spot of the knob page and of the knob-name box on the Setup page.
const QPoint kScheme1(414, 136);
const QPoint kScheme2(434, 136);
const QPoint kSpeed(489, 75);
const QPoint kBarePanel(160, 30);
const QPoint kEdit1(332, 51);

// The component number of the snapshot button with caption 1..32.
constexpr int kSnapshotButtonOfCaption[32] = {1,  4,  7,  8,  15, 16, 11, 12, 17, 20, 23,
                                              24, 31, 32, 27, 28, 2,  3,  6,  5,  14, 13,
                                              10, 9,  18, 19, 22, 21, 30, 29, 26, 25};
// xdotool's names of the snapshot shortcut keys, Ctrl+1 .. Ctrl+J.
const QStringList kSnapshotKeys = {
    "1", "2", "3", "4", "5", "6", "7", "8", "9", "0", "minus",       "equal",        "backslash",
    "q", "w", "e", "r", "t", "y", "u", "i", "o", "p", "bracketleft", "bracketright", "a",
    "s", "d", "f", "g", "h", "j"};

// A recorded scheme N that selects the peer and the global channel N + 2.
QByteArray Scheme(int n, int out) {
  return QStringLiteral("[scheme%1]\nmidiout=%2\nch=%3\nknobctrl1=176\n")
      .arg(n)
      .arg(out)
      .arg(n + 2)
      .toUtf8();
}

QString StoredChannel(const QString &settings) {
  return IniFile::Read(settings).ValueOr("setup", "ch", "missing");
}

// Presses Ctrl+`key` and waits for the recall of snapshot `caption`: 22 messages, knob 1 first
// with the caption. On a busy machine Kelvane's JACK client can go half a second without a cycle
// (the server, or Kelvane itself, was not scheduled); Kelvane then takes the server for stopped,
// refuses the recall's first message and says so in an error box, which takes the keyboard. The
// shortcut has done its part then: the box is answered and the key pressed again.
::testing::AssertionResult Recalls(Kelvane &app, Peer &peer, const QString &key, int caption) {
  for (int attempt = 1;; ++attempt) {
    const size_t before = peer.MessageCount();
    app.Key("ctrl+" + key);
    if (peer.WaitForMessages(before + 22, 5000)) {
      const QByteArray first = peer.Messages()[before];
      if (first == Bytes({0xB0, 0x18, caption})) return ::testing::AssertionSuccess();
      return ::testing::AssertionFailure()
             << "Ctrl+" << key.toStdString() << " sent " << Hex(first);
    }
    const auto refused = app.WaitForDialog("^Kelvane$", 5000);
    if (!refused || attempt == 3)
      return ::testing::AssertionFailure() << "Ctrl+" << key.toStdString() << " recalled nothing";
    std::printf("Ctrl+%s: the JACK server was taken for stopped; the box answered, again\n",
                qPrintable(key));
    if (!app.Focus(*refused)) return ::testing::AssertionFailure() << "the error box took no keys";
    app.Key("Return");
    if (!WaitUntil([&] { return app.WindowGone(*refused); }) || !app.FocusMain())
      return ::testing::AssertionFailure() << "the error box stayed";
    Settle(200);  // what the refused recall did send has arrived
  }
}

class MouseRelease : public E2eTest {};
class Shortcuts : public E2eTest {};

TEST_F(MouseRelease, RightAndMiddleReleasesReachSchemesAndSpeedThenTheMenuOpens) {
  const int out = graph.OutputDeviceIndex(peer.InPort());
  IniFile::Write(settings, PeerSettings(graph, peer, Scheme(1, out) + Scheme(2, out)));
  Kelvane app(settings);
  ASSERT_NO_FATAL_FAILURE(StartConnected(app));

  // An ordinary top-level window with a taskbar entry, named by its title.
  const QString properties = QString::fromLocal8Bit([&] {
    QProcess xprop;
    xprop.start("xprop", {"-display", XDisplay(), "-id", QString::number(app.Window())});
    xprop.waitForFinished(10000);
    return xprop.readAllStandardOutput();
  }());
  EXPECT_TRUE(properties.contains("_NET_WM_WINDOW_TYPE(ATOM) = _NET_WM_WINDOW_TYPE_NORMAL"))
      << properties.toStdString();
  EXPECT_FALSE(properties.contains("_NET_WM_STATE_SKIP_TASKBAR"));
  EXPECT_TRUE(properties.contains("WM_NAME(UTF8_STRING) = \"Kelvane\""));

  // The right button let go on recorded scheme 1 selects it, and the menu opens after.
  app.Click(kScheme1, {}, 3);
  EXPECT_TRUE(WaitUntil([&] { return StoredChannel(settings) == "3"; })) << "scheme 1 not chosen";
  app.Key("Escape");
  // The middle button on scheme 2 selects it too.
  app.Click(kScheme2, {}, 2);
  EXPECT_TRUE(WaitUntil([&] { return StoredChannel(settings) == "4"; })) << "scheme 2 not chosen";

  // The right button let go over the speed knob reaches its release handler, which stores it.
  ASSERT_FALSE(IniFile::Read(settings).Value("setup", "speed").has_value());
  app.Click(app.PageOrigin() + kSpeed, {}, 3);
  EXPECT_TRUE(WaitUntil([&] { return IniFile::Read(settings).Value("setup", "speed") == "6"; }));
  app.Key("Escape");

  // Anywhere on the knob page the right button still opens the menu: its first item is Panic!.
  ASSERT_TRUE(WaitUntil([&] { return graph.ConnectedToKelvane(peer.InPort()); }));
  app.Click(app.PageOrigin() + kBarePanel, {}, 3);
  Settle(200);
  app.Key("Down");
  app.Key("Return");
  ASSERT_TRUE(peer.WaitForMessages(16));
  EXPECT_EQ(Hex(peer.Messages().front()), Hex(Bytes({0xB0, 0x78, 0x00})));
}

TEST_F(Shortcuts, All44WorkWhileTheKnobNameBoxHasTheFocus) {
  const int out = graph.OutputDeviceIndex(peer.InPort());
  QByteArray recorded;
  for (int caption = 1; caption <= 32; ++caption)
    recorded += QStringLiteral("[Button%1]\nknob1=%2\n")
                    .arg(kSnapshotButtonOfCaption[caption - 1])
                    .arg(caption)
                    .toUtf8();
  for (int n = 1; n <= 12; ++n) recorded += Scheme(n, out);
  IniFile::Write(settings, PeerSettings(graph, peer, recorded));
  Kelvane app(settings);
  ASSERT_NO_FATAL_FAILURE(StartConnected(app));

  // A name typed into the box on the Setup page, not yet committed.
  app.ShowPage(3);
  ASSERT_TRUE(WaitUntil([&] { return app.ShowsSetupPage(); }));
  app.Click(app.PageOrigin() + kEdit1);
  app.Type("abc");

  // Each snapshot shortcut recalls its snapshot.
  for (int caption = 1; caption <= 32; ++caption)
    ASSERT_TRUE(Recalls(app, peer, kSnapshotKeys[caption - 1], caption));
  // Each scheme shortcut selects its scheme, which stores its global channel.
  for (int n = 1; n <= 12; ++n) {
    app.Key(QStringLiteral("ctrl+F%1").arg(n));
    EXPECT_TRUE(WaitUntil([&] { return StoredChannel(settings) == QString::number(n + 2); }, 5000))
        << "Ctrl+F" << n << " selected nothing";
  }
  // None of them reached the box: Enter commits the name as it was typed.
  app.Key("Return");
  EXPECT_TRUE(WaitUntil([&] {
    return IniFile::Read(settings).Value("knob", "knobname1") == QString("abc");
  })) << IniFile::Read(settings).ValueOr("knob", "knobname1", "missing").toStdString();
}

}  // namespace
}  // namespace e2e
