// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Knobs for the keyboard and the wheel: a focused knob turns by the wheel, the arrows, Page Up
// and Page Down, Home and End; Tab moves the focus; the knob and note keys go on working.

#include "E2eSupport.h"

namespace e2e {
namespace {

// Centres of knob3 and knob4 on the knob page, and of the Pitch Bend knob on the keyboard page,
// in page coordinates.
const QPoint kKnob3(103, 30);
const QPoint kPitchBend(287, 53);

class KnobFocus : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    if (HasFatalFailure()) return;
    IniFile::Write(settings, PeerSettings(graph, peer));
  }

  // Does `act` and waits until `count` more messages have come.
  void Expect(size_t count, const std::function<void()> &act) {
    const size_t before = peer.MessageCount();
    act();
    ASSERT_TRUE(peer.WaitForMessages(before + count, 5000)) << "message " << before + count;
  }

  void Wheel(Kelvane &app, int button, const QString &modifier = {}) {
    if (!modifier.isEmpty()) app.KeyDown(modifier);
    Xdo({"click", QString::number(button)});
    if (!modifier.isEmpty()) app.KeyUp(modifier);
  }
};

TEST_F(KnobFocus, WheelArrowsAndTabTurnKnobsAsADragDoesBesideTheKnobKeys) {
  Kelvane app(settings);
  ASSERT_NO_FATAL_FAILURE(StartConnected(app));
  app.MoveTo(app.PageOrigin() + kKnob3);
  // The wheel: one step a notch, eight with Shift; it also gives knob3 the focus.
  for (int button : {4, 4, 5}) ASSERT_NO_FATAL_FAILURE(Expect(1, [&] { Wheel(app, button); }));
  ASSERT_NO_FATAL_FAILURE(Expect(1, [&] { Wheel(app, 4, "shift"); }));
  // Keys to the focused knob, the knob key "1" to knob1 all the same.
  for (const char *key : {"Up", "Right", "Down", "Left", "Prior", "Next", "End", "Home", "1"})
    ASSERT_NO_FATAL_FAILURE(Expect(1, [&] { app.Key(key); }));
  // Tab to knob4 and back.
  app.Key("Tab");
  ASSERT_NO_FATAL_FAILURE(Expect(1, [&] { app.Key("Up"); }));
  app.Key("shift+Tab");
  ASSERT_NO_FATAL_FAILURE(Expect(1, [&] { app.Key("Up"); }));

  // On the keyboard page Pitch Bend bends while the key or the notch lasts and then comes back,
  // as after a drag. (Passing over it sends where it stands, 0 after the start.)
  app.ShowPage(1);
  ASSERT_NO_FATAL_FAILURE(Expect(1, [&] { app.MoveTo(app.PageOrigin() + kPitchBend); }));
  ASSERT_NO_FATAL_FAILURE(Expect(2, [&] { Wheel(app, 4); }));
  ASSERT_NO_FATAL_FAILURE(Expect(2, [&] { app.Key("Up"); }));
  Settle();

  const QStringList cc26 = {"01", "02", "01", "09", "0A", "0B", "0A", "09", "11", "09", "7F", "00"};
  std::vector<QByteArray> expected;
  for (const QString &value : cc26)
    expected.push_back(Bytes({0xB0, 0x1A, value.toInt(nullptr, 16)}));
  expected.push_back(Bytes({0xB0, 0x18, 6}));  // "1": knob1 up by the speed
  expected.push_back(Bytes({0xB0, 0x1B, 1}));  // knob4
  expected.push_back(Bytes({0xB0, 0x1A, 1}));  // knob3 again
  expected.push_back(Bytes({0xE0, 0x00, 0}));  // passing over
  for (int bend : {1, 65}) {
    expected.push_back(Bytes({0xE0, 0x00, bend}));  // one step up: bend x 128
    expected.push_back(Bytes({0xE0, 0x00, 64}));    // back to the centre
  }
  const std::vector<QByteArray> got = peer.Messages();
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < got.size(); ++i)
    EXPECT_EQ(Hex(got[i]), Hex(expected[i])) << "message " << i;
}

}  // namespace
}  // namespace e2e
