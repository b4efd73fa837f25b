// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The value logic of the knob and the value box, without a window.
#include <gtest/gtest.h>

#include "DragTweakModel.h"
#include "Exception.h"
#include "IntegerText.h"
#include "KnobArt.h"
#include "KnobModel.h"

namespace {

const TShiftState kLeft = ssLeft;
const TShiftState kShiftLeft = ssLeft | ssShift;

TEST(IntegerText, HexTextHasAtLeastTwoUpperCaseDigits) {
  EXPECT_EQ(HexText(0), "$00");
  EXPECT_EQ(HexText(127), "$7F");
  EXPECT_EQ(HexText(256), "$100");
  EXPECT_EQ(HexText(-1), "$FFFFFFFF");
}

TEST(IntegerText, ParsesDecimalAndDollarHex) {
  EXPECT_EQ(ParseIntegerText("127"), 127);
  EXPECT_EQ(ParseIntegerText("$7f"), 127);
  EXPECT_EQ(ParseIntegerText("0x1A"), 26);
  EXPECT_EQ(ParseIntegerText("  -5"), -5);
  EXPECT_EQ(ParseIntegerText("+12"), 12);
  EXPECT_EQ(ParseIntegerText("-2147483648"), INT32_MIN);
  EXPECT_EQ(ParseIntegerText("$FFFFFFFF"), -1);
}

TEST(IntegerText, RefusesWhatIsNoInteger) {
  for (const char *bad :
       {"", " ", "abc", "12a", "$", "$G1", "1 ", "2147483648", "$100000000", "1.5", "--1"}) {
    EXPECT_THROW(ParseIntegerText(bad), EConvertError) << bad;
  }
  try {
    ParseIntegerText("knob");
    FAIL();
  } catch (const EConvertError &error) {
    EXPECT_EQ(error.Message(), "'knob' is not a valid integer value");
  }
}

TEST(KnobFrame, ThirtyFrameStripOverTheMidiRange) {
  for (int p = 0; p <= 4; ++p) EXPECT_EQ(KnobFrameIndex(p, 127, 30), 0) << p;
  EXPECT_EQ(KnobFrameIndex(5, 127, 30), 1);
  EXPECT_EQ(KnobFrameIndex(63, 127, 30), 14);
  EXPECT_EQ(KnobFrameIndex(64, 127, 30), 15);
  for (int p = 123; p <= 127; ++p) EXPECT_EQ(KnobFrameIndex(p, 127, 30), 29) << p;
  EXPECT_EQ(KnobFrameIndex(200, 127, 30), 29);
}

TEST(KnobFrame, OtherRangesAndStrips) {
  EXPECT_EQ(KnobFrameIndex(48, 48, 30), 29);  // the speed knob
  EXPECT_EQ(KnobFrameIndex(6, 48, 30), 3);
  // One frame per value: the index is the value, and never past the strip.
  for (int p = 0; p <= 10; ++p) EXPECT_EQ(KnobFrameIndex(p, 10, 11), p);
  EXPECT_EQ(KnobFrameIndex(12, 10, 11), 10);
  // An empty range would divide by zero: the first frame shows.
  EXPECT_EQ(KnobFrameIndex(0, 0, 30), 0);
  EXPECT_EQ(KnobFrameIndex(5, 0, 30), 0);
  EXPECT_EQ(KnobFrameIndex(5, 127, 0), -1);
}

TEST(KnobModel, StepsDownStopAtMin) {
  KnobModel knob;
  knob.SetMin(2);
  knob.SetPosition(5);
  knob.BeginDrag(10, 0);
  EXPECT_EQ(knob.DragMove(kShiftLeft, 9, 0), 2);
  knob.SetPosition(2);
  EXPECT_EQ(knob.DragMove(kLeft, 8, 0), 2);
}

TEST(KnobModel, OnlyLeftButtonWithOrWithoutShiftDrags) {
  KnobModel knob;
  knob.SetPosition(50);
  knob.BeginDrag(10, 10);
  for (TShiftState other :
       {TShiftState(), TShiftState(ssCtrl | ssLeft), TShiftState(ssAlt | ssLeft),
        TShiftState(ssRight), TShiftState(ssLeft | ssRight), TShiftState(ssShift)}) {
    EXPECT_FALSE(knob.DragMove(other, 20, 20).has_value());
    EXPECT_EQ(knob.LastDragCoordinate(), 10);
  }
}

TEST(KnobModel, SignedCoordinatesKeepTheDirectionPastTheEdges) {
  KnobModel horizontal;
  horizontal.SetPosition(50);
  horizontal.BeginDrag(1, 5);
  for (int x : {0, -1, -2, -40000}) {
    const auto next = horizontal.DragMove(kLeft, x, 5);
    ASSERT_TRUE(next.has_value());
    EXPECT_EQ(*next, horizontal.Position() - 1) << x;
    horizontal.SetPosition(*next);
  }
  KnobModel vertical;
  vertical.SetAxis(axVertical);
  vertical.SetPosition(50);
  vertical.BeginDrag(5, 2);
  for (int y : {1, 0, -1, -2}) {  // moving up across the top edge
    const auto next = vertical.DragMove(kLeft, 5, y);
    ASSERT_TRUE(next.has_value());
    EXPECT_EQ(*next, vertical.Position() + 1) << y;
    vertical.SetPosition(*next);
  }
  EXPECT_FALSE(vertical.DragMove(kLeft, 30, -2).has_value());  // only y counts
}

TEST(KnobPointer, TurnsClockwiseThroughTheClockMarks) {
  EXPECT_DOUBLE_EQ(KnobPointerAngle(0, 30), 225.0);   // 7:30
  EXPECT_DOUBLE_EQ(KnobPointerAngle(4, 30), 270.0);   // 9 o'clock
  EXPECT_DOUBLE_EQ(KnobPointerAngle(15, 30), 360.0);  // 12 o'clock
  EXPECT_DOUBLE_EQ(KnobPointerAngle(29, 30), 495.0);  // 4:30
  for (int f = 1; f < 30; ++f) EXPECT_GT(KnobPointerAngle(f, 30), KnobPointerAngle(f - 1, 30));
}

// The window's velocity box: "0" .. "127", default 90.
DragTweakModel Velocity() {
  DragTweakModel vel;
  vel.FillRange(0, 127, "", "");
  vel.SetPositionDefault(90);
  return vel;
}

DragTweakModel PlayMode() {
  DragTweakModel box;
  box.SetItems({"Note", "Major", "Minor", "Major7th", "Minor7th", "Minor7th5", "Diminished",
                "Dominant7th", "Major9th", "Minor9th", "Interval"});
  box.SetPositionDefault(90);
  return box;
}

// A drag move right (+1) or left (-1) of the last one.
bool Drag(DragTweakModel &box, int direction, TShiftState shift = kLeft) {
  return box.DragMove(shift, box.LastDragX() + direction);
}

TEST(DragTweakModel, FillRangeShowsTheFirstEntry) {
  DragTweakModel vel = Velocity();
  EXPECT_EQ(vel.Caption(), "0");
  EXPECT_EQ(vel.Position(), 0);
  EXPECT_EQ(vel.Items().size(), 128);
  DragTweakModel named;
  named.FillRange(1, 3, "ch ", "!");
  EXPECT_EQ(named.Items(), QStringList({"ch 1!", "ch 2!", "ch 3!"}));
  named.SetCaption("keep");
  named.FillRange(5, 4, "", "");
  EXPECT_TRUE(named.Items().isEmpty());
  EXPECT_EQ(named.Caption(), "keep");
  EXPECT_EQ(named.Position(), -1);
}

TEST(DragTweakModel, ShiftStepsRightAreRefusedPastTheLastEntry) {
  DragTweakModel vel = Velocity();
  EXPECT_TRUE(Drag(vel, +1, kShiftLeft));
  EXPECT_EQ(vel.Position(), 10);
  vel.SetPosition(120);
  EXPECT_FALSE(Drag(vel, +1, kShiftLeft));
  EXPECT_EQ(vel.Position(), 120);
  EXPECT_TRUE(Drag(vel, +1));
  EXPECT_EQ(vel.Position(), 121);
  vel.SetPosition(117);
  EXPECT_TRUE(Drag(vel, +1, kShiftLeft));
  EXPECT_EQ(vel.Position(), 127);
}

TEST(DragTweakModel, ShiftStepsLeftStopAtTheFirstEntry) {
  DragTweakModel vel = Velocity();
  vel.SetPosition(5);
  EXPECT_TRUE(Drag(vel, -1, kShiftLeft));
  EXPECT_EQ(vel.Position(), 0);
  EXPECT_FALSE(Drag(vel, -1, kShiftLeft));  // no loop
  EXPECT_EQ(vel.Position(), 0);
  EXPECT_FALSE(vel.DragMove(kLeft, vel.LastDragX()));  // no movement, no step
}

TEST(DragTweakModel, LoopGoesRoundOnlyFromTheEnds) {
  DragTweakModel mode = PlayMode();
  mode.SetAllowLoop(true);
  EXPECT_TRUE(Drag(mode, -1));
  EXPECT_EQ(mode.Caption(), "Interval");
  EXPECT_TRUE(Drag(mode, +1));
  EXPECT_EQ(mode.Caption(), "Note");
  mode.SetPosition(5);
  EXPECT_TRUE(Drag(mode, +1, kShiftLeft));  // 5 + 10 passes the end: round to the first
  EXPECT_EQ(mode.Position(), 0);
}

TEST(DragTweakModel, CaptionOutsideTheItems) {
  for (const auto &[shift, expected] : {std::pair{kLeft, 0}, std::pair{kShiftLeft, 9}}) {
    DragTweakModel vel = Velocity();
    vel.SetCaption("none");
    EXPECT_EQ(vel.Position(), -1);
    EXPECT_TRUE(Drag(vel, +1, shift));
    EXPECT_EQ(vel.Position(), expected);
  }
  DragTweakModel vel = Velocity();
  vel.SetCaption("none");
  EXPECT_FALSE(Drag(vel, -1));  // nothing to the left of "nowhere" without a loop
  EXPECT_EQ(vel.Caption(), "none");
}

TEST(DragTweakModel, PositionIsTheFirstMatchIgnoringCase) {
  DragTweakModel box;
  box.SetItems({"a", "B", "b", "c"});
  box.SetCaption("b");
  EXPECT_EQ(box.Position(), 1);
  box.SetPosition(2);  // shows "b", which reads back as the first "b"
  EXPECT_EQ(box.Position(), 1);
}

TEST(DragTweakModel, SetPositionClampsAndAnEmptyListIgnoresIt) {
  DragTweakModel mode = PlayMode();
  mode.SetPosition(99);
  EXPECT_EQ(mode.Caption(), "Interval");
  mode.SetPosition(-4);
  EXPECT_EQ(mode.Caption(), "Note");
  DragTweakModel empty;
  empty.SetCaption("x");
  EXPECT_FALSE(empty.SetPosition(0));
  EXPECT_FALSE(empty.SetItems({}));
  EXPECT_EQ(empty.Caption(), "x");
}

TEST(DragTweakModel, ResetNeedsAnExistingDefaultAndPermission) {
  DragTweakModel vel = Velocity();
  EXPECT_TRUE(vel.ResetToDefault());
  EXPECT_EQ(vel.Position(), 90);
  DragTweakModel mode = PlayMode();  // default 90 is past its 11 entries
  mode.SetPosition(3);
  EXPECT_FALSE(mode.ResetToDefault());
  EXPECT_EQ(mode.Position(), 3);
  vel.SetPosition(5);
  vel.SetAllowReset(false);
  EXPECT_FALSE(vel.ResetToDefault());
  EXPECT_EQ(vel.Position(), 5);
}

}  // namespace
