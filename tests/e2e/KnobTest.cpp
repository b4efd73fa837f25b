// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The knob bank as a musician plays it: a mouse drag on a knob, the knob keys, "Panic!".

#include "E2eSupport.h"

namespace e2e {
namespace {

// Window coordinates of snapshot caption 1 (Button1), at the snapshot panel's top-left.
const QPoint kSnapshot1(14, 136);

class Knobs : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    if (HasFatalFailure()) return;
    IniFile::Write(settings, PeerSettings(graph, peer));
  }

  // Knob k's centre in window coordinates (knob1 at 8, 15 on the knob page's panel).
  QPoint KnobCentre(Kelvane &app, QPoint place) {
    return app.PageOrigin() + place + QPoint(15, 15);
  }

  // A drag of `moves` mouse moves of 2 pixels from `from`, each waited for at the peer.
  void Drag(Kelvane &app, QPoint from, int moves, const QString &modifier = {}) {
    const size_t before = peer.MessageCount();
    app.MoveTo(from);
    if (!modifier.isEmpty()) app.KeyDown(modifier);
    app.Press();
    for (int i = 1; i <= moves; ++i) {
      app.MoveTo(from + QPoint(2 * i, 0));
      ASSERT_TRUE(peer.WaitForMessages(before + i, 5000)) << "no message for move " << i;
    }
    app.Release();
    if (!modifier.isEmpty()) app.KeyUp(modifier);
  }

  // The knob positions as a Shift+click on snapshot 1 records them.
  QString RecordedPosition(Kelvane &app, int knob) {
    app.Click(kSnapshot1, "shift");
    const QString name = QStringLiteral("knob%1").arg(knob);
    WaitUntil([&] { return IniFile::Read(settings).Value("Button1", name).has_value(); });
    return IniFile::Read(settings).ValueOr("Button1", name, "missing");
  }
};

TEST_F(Knobs, DragSendsOneMessagePerMoveWithThePositionBeforeIt) {
  Kelvane app(settings);
  ASSERT_NO_FATAL_FAILURE(StartConnected(app));
  const QPoint knob3 = KnobCentre(app, {88, 15});

  // Hovering without a button sends nothing.
  app.MoveTo(knob3 - QPoint(12, 0));
  app.MoveTo(knob3);
  Settle();
  EXPECT_EQ(peer.MessageCount(), 0u);

  // Each move sends ControlChange 26 on channel 1 with the value the knob had before the move.
  constexpr int moves = 20;
  ASSERT_NO_FATAL_FAILURE(Drag(app, knob3, moves));
  // With Shift the knob steps by 8 (pressed 8 pixels lower, so that it is no double-click).
  ASSERT_NO_FATAL_FAILURE(Drag(app, knob3 + QPoint(0, 8), 3, "shift"));
  // Moving over the knob with no button held, or dragging with Ctrl held, sends nothing more.
  app.MoveTo(knob3 + QPoint(3, 3));
  app.MoveTo(knob3 + QPoint(6, 6));
  app.MoveTo(knob3 - QPoint(8, 0));
  app.KeyDown("ctrl");
  app.Press();
  for (int i = 1; i <= 3; ++i) app.MoveTo(knob3 + QPoint(2 * i - 8, 0));
  app.Release();
  app.KeyUp("ctrl");
  Settle();

  const std::vector<QByteArray> messages = peer.Messages();
  ASSERT_EQ(messages.size(), size_t(moves + 3));
  for (int i = 0; i < moves; ++i)
    EXPECT_EQ(Hex(messages[i]), Hex(Bytes({0xB0, 0x1A, i}))) << "move " << i + 1;
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(Hex(messages[moves + i]), Hex(Bytes({0xB0, 0x1A, moves + 8 * i})));
  EXPECT_EQ(RecordedPosition(app, 3), QString::number(moves + 8 * 3));
  EXPECT_EQ(IniFile::Read(settings).ValueOr("Button1", "knob4", "missing"), "0");
}

TEST_F(Knobs, KnobKeysStepByTheSpeed) {
  Kelvane app(settings);
  ASSERT_NO_FATAL_FAILURE(StartConnected(app));
  // Knob mode on the knob page: "1" raises knob1 by the speed 6, "q" lowers it; "3" raises
  // knob3; a Shift+q is no knob key.
  app.Key("1");
  ASSERT_TRUE(peer.WaitForMessages(1));
  app.Key("1");
  ASSERT_TRUE(peer.WaitForMessages(2));
  app.Key("q");
  ASSERT_TRUE(peer.WaitForMessages(3));
  app.Key("shift+q");
  app.Key("3");
  ASSERT_TRUE(peer.WaitForMessages(4));
  Settle();
  const std::vector<QByteArray> messages = peer.Messages();
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(Hex(messages[0]), Hex(Bytes({0xB0, 0x18, 6})));
  EXPECT_EQ(Hex(messages[1]), Hex(Bytes({0xB0, 0x18, 12})));
  EXPECT_EQ(Hex(messages[2]), Hex(Bytes({0xB0, 0x18, 6})));
  EXPECT_EQ(Hex(messages[3]), Hex(Bytes({0xB0, 0x1A, 6})));
  EXPECT_EQ(RecordedPosition(app, 1), "6");
}

TEST_F(Knobs, PanicShortcutSendsSixteenAllSoundOff) {
  Kelvane app(settings);
  ASSERT_NO_FATAL_FAILURE(StartConnected(app));
  app.Key("alt+BackSpace");
  ASSERT_TRUE(peer.WaitForMessages(16));
  Settle();
  const std::vector<QByteArray> messages = peer.Messages();
  ASSERT_EQ(messages.size(), 16u);
  for (int channel = 0; channel < 16; ++channel)
    EXPECT_EQ(Hex(messages[channel]), Hex(Bytes({0xB0 + channel, 0x78, 0x00})));
}

}  // namespace
}  // namespace e2e
