// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Snapshots and schemes recorded with the mouse and recalled after a restart.

#include <QFile>

#include "E2eSupport.h"

namespace e2e {
namespace {

// Window coordinates: snapshot captions 1 (Button1) and 14 (Button32, the 14th of the top row),
// scheme buttons 1 and 2.
const QPoint kSnapshot1(14, 136);
const QPoint kSnapshot14(274, 136);
const QPoint kScheme1(414, 136);
const QPoint kScheme2(434, 136);
const QPoint kKnob1(8, 15), kKnob3(88, 15);

class Recall : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    if (HasFatalFailure()) return;
    IniFile::Write(settings, PeerSettings(graph, peer));
  }

  // A drag of `moves` 2-pixel moves to the right on the knob at `place` (panel coordinates),
  // pressed `down` pixels below its centre; every move is waited for at the peer.
  void Drag(Kelvane &app, QPoint place, int moves, int down = 0) {
    const QPoint from = app.PageOrigin() + place + QPoint(15, 15 + down);
    const size_t before = peer.MessageCount();
    app.MoveTo(from);
    app.Press();
    for (int i = 1; i <= moves; ++i) {
      app.MoveTo(from + QPoint(2 * i, 0));
      ASSERT_TRUE(peer.WaitForMessages(before + i, 5000)) << "no message for move " << i;
    }
    app.Release();
  }

  void Close(Kelvane &app) {
    app.CloseWindow();
    ASSERT_TRUE(app.WaitForExit()) << app.Output().toStdString();
  }

  void AppendToSettings(const QByteArray &text) {
    QFile file(settings);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(text);
  }
};

class Snapshots : public Recall {};
class Schemes : public Recall {};

TEST_F(Snapshots, RecordedByShiftClickRecalledByCtrl1AfterRestart) {
  {
    Kelvane app(settings);
    ASSERT_NO_FATAL_FAILURE(StartConnected(app));
    ASSERT_NO_FATAL_FAILURE(Drag(app, kKnob1, 3));
    ASSERT_NO_FATAL_FAILURE(Drag(app, kKnob3, 5));
    app.Click(kSnapshot1, "shift");
    app.Click(kSnapshot14, "shift");
    ASSERT_TRUE(
        WaitUntil([&] { return IniFile::Read(settings).Value("Button32", "knob22").has_value(); }));
    Close(app);
  }
  const IniFile recorded = IniFile::Read(settings);
  EXPECT_EQ(recorded.ValueOr("Button1", "knob1", "missing"), "3");
  EXPECT_EQ(recorded.ValueOr("Button1", "knob3", "missing"), "5");
  EXPECT_EQ(recorded.ValueOr("Button1", "knob2", "missing"), "0");

  EXPECT_EQ(recorded.ValueOr("Button32", "knob3", "missing"), "5");

  const size_t before = peer.MessageCount();
  Kelvane app(settings);
  ASSERT_NO_FATAL_FAILURE(StartConnected(app));
  // Ctrl+2 names an empty snapshot: nothing. Ctrl+Q recalls snapshot 14, Ctrl+1 snapshot 1; the
  // letter and the digit turn no knob, since the shortcut takes the key.
  app.Key("ctrl+2");
  app.Key("ctrl+q");
  ASSERT_TRUE(peer.WaitForMessages(before + 22));
  app.Key("ctrl+1");
  ASSERT_TRUE(peer.WaitForMessages(before + 44));
  Settle();
  const std::vector<QByteArray> got = peer.Messages();
  ASSERT_EQ(got.size(), before + 44);
  // Each recall: all 22 knobs in knob order, each with its controller (24 + k - 1) and stored
  // position.
  for (size_t recall : {before, before + 22})
    for (int k = 1; k <= 22; ++k) {
      const int position = k == 1 ? 3 : k == 3 ? 5 : 0;
      EXPECT_EQ(Hex(got[recall + k - 1]), Hex(Bytes({0xB0, 23 + k, position}))) << "knob" << k;
    }
  // The knob stands where the snapshot put it: the next drag move sends that position.
  ASSERT_NO_FATAL_FAILURE(Drag(app, kKnob3, 1));
  EXPECT_EQ(Hex(peer.Messages().back()), Hex(Bytes({0xB0, 0x1A, 5})));
}

TEST_F(Schemes, RecordedAfterConfirmationSelectedAfterRestart) {
  const int out = graph.OutputDeviceIndex(peer.InPort());
  {
    Kelvane app(settings);
    ASSERT_NO_FATAL_FAILURE(StartConnected(app));
    ASSERT_NO_FATAL_FAILURE(Drag(app, kKnob3, 5));

    // Answered No: nothing is written.
    app.Click(kScheme2, "shift");
    const auto refused = app.WaitForDialog("Warning");
    ASSERT_TRUE(refused.has_value());
    app.Key("Escape");
    ASSERT_TRUE(WaitUntil([&] { return app.WindowGone(*refused); }));

    // Answered Yes: recorded.
    ASSERT_TRUE(app.FocusMain());
    app.Click(kScheme1, "shift");
    const auto confirm = app.WaitForDialog("Warning");
    ASSERT_TRUE(confirm.has_value());
    app.Screenshot(*confirm, ArtefactDir() + "/scheme-confirmation.png");
    app.Key("Return");
    ASSERT_TRUE(WaitUntil(
        [&] { return IniFile::Read(settings).Value("scheme1", "knobnamecolor22").has_value(); }));
    Close(app);
  }
  const IniFile recorded = IniFile::Read(settings);
  EXPECT_FALSE(recorded.Value("scheme2", "knobctrl1").has_value());
  EXPECT_EQ(recorded.ValueOr("scheme1", "midiout", "missing"), QString::number(out));
  EXPECT_EQ(recorded.ValueOr("scheme1", "ch", "missing"), "0");
  EXPECT_EQ(recorded.ValueOr("scheme1", "knobctrl3", "missing"), "176");
  EXPECT_EQ(recorded.ValueOr("scheme1", "knobctrlno3", "missing"), "26");
  EXPECT_EQ(recorded.ValueOr("scheme1", "knobpos3", "missing"), "5");
  EXPECT_EQ(recorded.ValueOr("scheme1", "knobname3", "missing"), "knob");

  // Another set-up for knob 3, as the Setup page would have left it.
  AppendToSettings("[knob]\nknobctrlno3=50\nknobname3=edited\n");
  Kelvane app(settings);
  ASSERT_NO_FATAL_FAILURE(StartConnected(app));
  ASSERT_NO_FATAL_FAILURE(Drag(app, kKnob3, 1));
  EXPECT_EQ(Hex(peer.Messages().back()), Hex(Bytes({0xB0, 50, 0})));

  // Selecting the scheme restores knob 3's set-up and position (and reopens the output).
  app.Click(kScheme1);
  ASSERT_TRUE(WaitUntil(
      [&] { return IniFile::Read(settings).Value("knob", "knobctrlno3") == QString("26"); }));
  EXPECT_EQ(IniFile::Read(settings).ValueOr("knob", "knobname3", "missing"), "knob");
  EXPECT_EQ(IniFile::Read(settings).ValueOr("setup", "out", "missing"), QString::number(out));
  ASSERT_TRUE(WaitUntil([&] { return graph.ConnectedToKelvane(peer.InPort()); }));
  ASSERT_NO_FATAL_FAILURE(Drag(app, kKnob3, 1));
  EXPECT_EQ(Hex(peer.Messages().back()), Hex(Bytes({0xB0, 0x1A, 5})));
}

}  // namespace
}  // namespace e2e
