// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <limits>

#include "EngineTestSupport.h"

namespace {

constexpr uint16_t Z = 0x5A, X = 0x58, Q = 0x51, I = 0x49, Comma = 0xBC, Slash = 0xBF;

using Keyboard = EngineTest;

TEST_F(Keyboard, HeldKeySoundsOnceAndReleasesOnKeyUp) {
  Down(Z);
  Down(Z);  // auto-repeat
  Down(Z);
  EXPECT_EQ(TakeSent(), (Messages{Msg(0x90, 36, 90)}));
  EXPECT_EQ(engine.Note(), "C2  (v90)");
  EXPECT_TRUE(engine.Held(0));
  Up(Z);
  Up(Z);
  EXPECT_EQ(TakeSent(), (Messages{Msg(0x80, 36, 0)}));
  EXPECT_FALSE(engine.Held(0));
  EXPECT_EQ(engine.Note(), "C2  (v90)");
}

TEST_F(Keyboard, Major9thSendsItsFiveNotesInOrderBothWays) {
  engine.SetPlaymode(pmMajor9th);
  Down(Z);
  EXPECT_EQ(TakeSent(), (Messages{Msg(0x90, 36, 90), Msg(0x90, 40, 90), Msg(0x90, 43, 90),
                                  Msg(0x90, 47, 90), Msg(0x90, 50, 90)}));
  Up(Z);
  EXPECT_EQ(TakeSent(), (Messages{Msg(0x80, 36, 0), Msg(0x80, 40, 0), Msg(0x80, 43, 0),
                                  Msg(0x80, 47, 0), Msg(0x80, 50, 0)}));
}

struct ModeCase {
  TPlayMode mode;
  std::vector<int> notes;
  const char *text;
};

// Key I is note 60 (C4) at octave 3.
TEST_F(Keyboard, EveryPlayModeSoundsAndNamesItsNotes) {
  const ModeCase cases[] = {
      {pmNote, {60}, "C4  (v90)"},
      {pmMajor, {60, 64, 67, 72}, "C4 E4 G4 C5 "},
      {pmMinor, {60, 63, 67, 72}, "C4 D#4 G4 C5 "},
      {pmMajor7th, {60, 64, 67, 71}, "C4 E4 G4 B4 "},
      {pmMinor7th, {60, 63, 67, 70}, "C4 D#4 G4 A#4 "},
      {pmMinor7th5, {60, 63, 66, 70}, "C4 D#4 F#4 A#4 "},
      {pmDiminished, {60, 63, 66, 69}, "C4 D#4 F#4 A4 "},
      {pmDominant7th, {60, 64, 67, 70}, "C4 E4 G4 A#4 "},
      {pmMajor9th, {60, 64, 67, 71, 74}, "C4 E4 G4 B4 D5 "},
      {pmMinor9th, {60, 63, 67, 70, 74}, "C4 D#4 G4 A#4 D5 "},
      {pm2nd, {60, 62}, "C4 2nd"},
      {pm3rd, {60, 64}, "C4 3rd"},
      {pm4th, {60, 65}, "C4 4th"},
      {pm5th, {60, 67}, "C4 5th"},
      {pm6th, {60, 69}, "C4 6th"},
      {pm7th, {60, 71}, "C4 7th"},
      {pm8th, {60, 72}, "C4 C5 "},
  };
  for (const ModeCase &c : cases) {
    SCOPED_TRACE(int(c.mode));
    engine.SetPlaymode(c.mode);
    Down(I);
    Messages on, off;
    for (int note : c.notes) {
      on.push_back(Msg(0x90, note, 90));
      off.push_back(Msg(0x80, note, 0));
    }
    EXPECT_EQ(TakeSent(), on);
    EXPECT_EQ(engine.Note(), c.text);
    Up(I);
    EXPECT_EQ(TakeSent(), off);
  }
}

TEST_F(Keyboard, TwoKeysOfOneIndexShareItsState) {
  Down(Comma);
  backend.ClearSent();
  Down(Q);  // index 12 is already down
  EXPECT_TRUE(Sent().empty());
  Up(Comma);
  EXPECT_EQ(TakeSent(), (Messages{Msg(0x80, 48, 0)}));
  Up(Q);
  EXPECT_TRUE(Sent().empty());
}

TEST_F(Keyboard, OctaveAndSemitoneStopAtTheirBounds) {
  for (int i = 0; i < 10; ++i) Down(vk::F4);
  EXPECT_EQ(engine.Octave(), 10);
  for (int i = 0; i < 15; ++i) Down(vk::F3);
  EXPECT_EQ(engine.Octave(), 0);
  for (int i = 0; i < 20; ++i) Down(vk::F8);
  EXPECT_EQ(engine.Semitone(), 12);
  for (int i = 0; i < 30; ++i) Down(vk::F7);
  EXPECT_EQ(engine.Semitone(), -12);
  Up(vk::F8);  // key-ups of the function keys do nothing
  EXPECT_EQ(engine.Semitone(), -12);
  EXPECT_TRUE(Sent().empty());
}

TEST_F(Keyboard, CtrlOrAltAloneSilenceTheKeyOtherModifiersDoNot) {
  Down(Z, ssCtrl);
  Down(Z, ssAlt);
  Down(vk::F4, ssCtrl);
  Down(vk::Space, ssAlt);
  EXPECT_TRUE(Sent().empty());
  EXPECT_FALSE(engine.Held(0));
  EXPECT_EQ(engine.Octave(), 3);

  Down(Z, ssShift);
  EXPECT_EQ(TakeSent(), (Messages{Msg(0x90, 36, 90)}));
  Up(Z, ssCtrl);  // a key-up is released whatever the modifiers
  Down(X, ssCtrl | ssAlt);
  EXPECT_EQ(TakeSent(), (Messages{Msg(0x80, 36, 0), Msg(0x90, 38, 90)}));
}

TEST_F(Keyboard, PedalSendsOneControlChangeEachWay) {
  Down(vk::Space);
  Down(vk::Space);
  EXPECT_EQ(TakeSent(), (Messages{Msg(0xB0, 64, 64)}));
  EXPECT_TRUE(engine.PedalHeld());
  Up(vk::Space);
  Up(vk::Space);
  EXPECT_EQ(TakeSent(), (Messages{Msg(0xB0, 64, 0)}));
  EXPECT_FALSE(engine.PedalHeld());
}

TEST_F(Keyboard, PanicLeavesHeldKeysToRelease) {
  Down(Z);
  backend.ClearSent();
  engine.Panic();
  Messages expected;
  for (int channel = 0; channel < 16; ++channel) expected.push_back(Msg(0xB0 + channel, 120, 0));
  EXPECT_EQ(TakeSent(), expected);
  Up(Z);
  EXPECT_EQ(TakeSent(), (Messages{Msg(0x80, 36, 0)}));
}

// A key releases what it sounded, whatever changed while it was held.
TEST_F(Keyboard, ReleaseSendsTheNotesTheKeySounded) {
  engine.SetPlaymode(pmMajor);
  Down(Z);
  Down(vk::F4);
  Down(vk::F8);
  engine.SetPlaymode(pmNote);
  engine.SetChannel(5);
  backend.ClearSent();
  Up(Z);
  EXPECT_EQ(TakeSent(),
            (Messages{Msg(0x80, 36, 0), Msg(0x80, 40, 0), Msg(0x80, 43, 0), Msg(0x80, 48, 0)}));
  // The next key-down sounds in the new state.
  Down(Z);
  EXPECT_EQ(TakeSent(), (Messages{Msg(0x95, 49, 90)}));
}

TEST_F(Keyboard, PedalReleasesOnTheChannelItWasPressedOn) {
  engine.SetChannel(3);
  Down(vk::Space);
  engine.SetChannel(9);
  Up(vk::Space);
  EXPECT_EQ(TakeSent(), (Messages{Msg(0xB3, 64, 64), Msg(0xB3, 64, 0)}));
}

TEST_F(Keyboard, ChannelIndicesBeyond15WrapOntoTheSixteenChannels) {
  engine.SetChannel(17);
  Down(Z);
  Down(vk::Space);
  Up(vk::Space);
  Up(Z);
  EXPECT_EQ(TakeSent(),
            (Messages{Msg(0x91, 36, 90), Msg(0xB1, 64, 64), Msg(0xB1, 64, 0), Msg(0x81, 36, 0)}));
  EXPECT_EQ(engine.Channel(), 17);
  engine.SetChannel(32);
  Down(Z);
  engine.SetChannel(-4);
  Down(X);
  EXPECT_EQ(TakeSent(), (Messages{Msg(0x90, 36, 90), Msg(0x90, 38, 90)}));
}

TEST_F(Keyboard, NotesOutsideTheMidiRangeAreLeftOut) {
  engine.SetOctave(10);  // index 0 is note 120
  engine.SetPlaymode(pmMajor);
  Down(Z);
  EXPECT_EQ(TakeSent(), (Messages{Msg(0x90, 120, 90), Msg(0x90, 124, 90), Msg(0x90, 127, 90)}));
  EXPECT_EQ(engine.Note(), "C9 E9 G9 ");
  Up(Z);
  EXPECT_EQ(TakeSent(), (Messages{Msg(0x80, 120, 0), Msg(0x80, 124, 0), Msg(0x80, 127, 0)}));

  engine.SetPlaymode(pm5th);  // 121 sounds, 128 does not: the interval is not named
  Down(0x53);
  EXPECT_EQ(TakeSent(), (Messages{Msg(0x90, 121, 90)}));
  EXPECT_EQ(engine.Note(), "C#9 ");

  engine.SetPlaymode(pmNote);  // nothing sounds at all: nothing is named
  Down(Slash);
  EXPECT_TRUE(TakeSent().empty());
  EXPECT_EQ(engine.Note(), "");
  Up(Slash);
  EXPECT_TRUE(TakeSent().empty());

  engine.SetOctave(0);
  while (engine.Semitone() > -12) engine.ShiftSemitone(false);
  engine.SetPlaymode(pmMajor);  // index 0 is note -12: only the octave above sounds
  Down(X);                      // base -10: -10, -6, -3, 2
  EXPECT_EQ(TakeSent(), (Messages{Msg(0x90, 2, 90)}));
  EXPECT_EQ(engine.Note(), "D-1 ");
}

TEST_F(Keyboard, WildSettingsNeverFormADataByteAbove127) {
  engine.SetVelocity(300);
  Down(Z);
  engine.SetVelocity(-40);
  Down(X);
  EXPECT_EQ(TakeSent(), (Messages{Msg(0x90, 36, 127), Msg(0x90, 38, 0)}));
  engine.SetOctave(std::numeric_limits<int>::max());
  Down(Q);
  engine.SetOctave(std::numeric_limits<int>::min());
  Down(0x4C);
  engine.SetPlaymode(static_cast<TPlayMode>(200));
  engine.SetOctave(3);
  Down(0xBE);
  EXPECT_TRUE(TakeSent().empty());
}

TEST_F(Keyboard, KeyDownThatFailedReleasesWhatItSent) {
  engine.SetPlaymode(pmMajor);
  Down(X);
  Up(X);
  const QString noteBefore = engine.Note();
  backend.ClearSent();
  output.FailAfter(2);  // the third note of the chord fails
  EXPECT_THROW(Down(Z), EmidioutputError);
  EXPECT_EQ(TakeSent(), (Messages{Msg(0x90, 36, 90), Msg(0x90, 40, 90)}));
  EXPECT_EQ(engine.Note(), noteBefore);
  EXPECT_TRUE(engine.Held(0));
  Down(Z);  // still down: absorbed
  EXPECT_TRUE(Sent().empty());
  output.FailAfter(-1);  // the device is back
  Up(Z);
  EXPECT_EQ(TakeSent(), (Messages{Msg(0x80, 36, 0), Msg(0x80, 40, 0)}));
}

TEST_F(Keyboard, KeyDownThatSentNothingOwesNoRelease) {
  output.FailAfter(0);
  EXPECT_THROW(Down(Z), EmidioutputError);
  EXPECT_THROW(Down(vk::Space), EmidioutputError);
  Up(Z);  // nothing to release, so no second error either
  Up(vk::Space);
  EXPECT_TRUE(Sent().empty());
  EXPECT_FALSE(engine.Held(0));
  EXPECT_FALSE(engine.PedalHeld());
}

TEST_F(Keyboard, ReleaseAllKeysLetsGoOfEverythingHeld) {
  engine.SetChannel(2);
  Down(Z);
  Down(Comma);
  Down(vk::Space);
  engine.SetChannel(7);
  Down(vk::F4);
  backend.ClearSent();
  engine.ReleaseAllKeys();
  EXPECT_EQ(TakeSent(), (Messages{Msg(0x82, 36, 0), Msg(0x82, 48, 0), Msg(0xB2, 64, 0)}));
  EXPECT_FALSE(engine.Held(0));
  EXPECT_FALSE(engine.Held(12));
  EXPECT_FALSE(engine.PedalHeld());
  Up(Z);  // the key-up that arrives later finds nothing held
  Up(vk::Space);
  engine.ReleaseAllKeys();
  EXPECT_TRUE(Sent().empty());
}

TEST_F(Keyboard, PlayingAnIndexAgainFirstReleasesIt) {
  engine.PlayKey(0);
  engine.PlayKey(0);
  engine.ReleaseKey(0);
  engine.ReleaseKey(0);
  EXPECT_EQ(TakeSent(),
            (Messages{Msg(0x90, 36, 90), Msg(0x80, 36, 0), Msg(0x90, 36, 90), Msg(0x80, 36, 0)}));
  engine.PlayKey(33);
  engine.ReleaseKey(-1);
  EXPECT_TRUE(Sent().empty());
}

}  // namespace
