// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The computer keyboard as a note keyboard: a chord, the pedal, an octave shift while a key is
// held, with the X server's own auto-repeat running as on a desktop.

#include "E2eSupport.h"

namespace e2e {
namespace {

class Keyboard : public E2eTest {};

std::vector<QByteArray> Notes(int status, std::initializer_list<int> notes, int velocity) {
  std::vector<QByteArray> messages;
  for (int note : notes) messages.push_back(Bytes({status, note, velocity}));
  return messages;
}

void ExpectMessages(const std::vector<QByteArray> &got, size_t from,
                    const std::vector<QByteArray> &expected) {
  ASSERT_GE(got.size(), from + expected.size());
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(Hex(got[from + i]), Hex(expected[i])) << "message " << from + i;
}

TEST_F(Keyboard, ChordPedalAndOctaveShiftWhileAKeyIsHeld) {
  // Note mode on the knob page, play mode "Major", velocity 100 with no random spread.
  IniFile::Write(
      settings,
      PeerSettings(graph, peer, "[setup]\ncomkeymode=1\n[kb]\nplaymode=1\nvel=100\nvelrnd=0\n"));
  Kelvane app(settings);
  ASSERT_NO_FATAL_FAILURE(StartConnected(app));

  // Z is the C of octave 3 (note 36): C E G C.
  app.KeyDown("z");
  ASSERT_TRUE(peer.WaitForMessages(4));
  app.KeyDown("space");
  ASSERT_TRUE(peer.WaitForMessages(5));
  // Both keys held past the X server's auto-repeat delay: the repeats sound nothing.
  Settle(800);
  EXPECT_EQ(peer.MessageCount(), 5u);
  app.KeyUp("space");
  ASSERT_TRUE(peer.WaitForMessages(6));
  app.Key("F4");  // one octave up while Z is still held
  app.KeyUp("z");
  ASSERT_TRUE(peer.WaitForMessages(10));
  // Z again, now an octave higher.
  app.Key("z");
  ASSERT_TRUE(peer.WaitForMessages(18));
  Settle();

  const std::vector<QByteArray> got = peer.Messages();
  EXPECT_EQ(got.size(), 18u);
  ExpectMessages(got, 0, Notes(0x90, {36, 40, 43, 48}, 100));
  ExpectMessages(got, 4, {Bytes({0xB0, 64, 64}), Bytes({0xB0, 64, 0})});
  // The release sends the notes the key sounded, not those of the new octave.
  ExpectMessages(got, 6, Notes(0x80, {36, 40, 43, 48}, 0));
  ExpectMessages(got, 10, Notes(0x90, {48, 52, 55, 60}, 100));
  ExpectMessages(got, 14, Notes(0x80, {48, 52, 55, 60}, 0));
}

TEST_F(Keyboard, ThePageDecidesWhatTheKeysDoInKnobMode) {
  IniFile::Write(settings, PeerSettings(graph, peer, "[kb]\nplaymode=0\nvel=100\nvelrnd=0\n"));
  Kelvane app(settings);
  ASSERT_NO_FATAL_FAILURE(StartConnected(app));

  // The keyboard page plays notes although the mode is " knobs".
  app.ShowPage(1);
  app.Key("z");
  ASSERT_TRUE(peer.WaitForMessages(2));
  // The Setup page in knob mode: neither knob keys nor note keys do anything.
  app.ShowPage(3);
  app.Key("z");
  app.Key("1");
  // Back on the knob page "1" turns knob1 again.
  app.ShowPage(0);
  app.Key("1");
  ASSERT_TRUE(peer.WaitForMessages(3));
  Settle();

  const std::vector<QByteArray> got = peer.Messages();
  EXPECT_EQ(got.size(), 3u);
  ExpectMessages(got, 0, {Bytes({0x90, 36, 100}), Bytes({0x80, 36, 0}), Bytes({0xB0, 0x18, 6})});
}

}  // namespace
}  // namespace e2e
