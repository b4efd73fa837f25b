// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The knob driven by real mouse events on the offscreen platform.
#include <gtest/gtest.h>

#include <QStringList>

#include "ControlsTestSupport.h"
#include "DragTweak.h"
#include "Exception.h"
#include "KnobArt.h"
#include "knob.h"

namespace {

class KnobTest : public ::testing::Test {
 protected:
  KnobTest() : shown(), knob(*shown.control), mouse(&knob), strip(nullptr) {
    knob.SetiImageList(&strip);
  }
  ~KnobTest() override { EXPECT_FALSE(PointerHidden()) << "a press left the pointer hidden"; }

  // Records the owner's events, with the knob's position at the time each one fired.
  void RecordEvents() {
    auto note = [this](const QString &what) {
      events << QStringLiteral("%1@%2").arg(what).arg(knob.Position());
    };
    knob.OnMouseDown = [this, note](QObject *sender, TMouseButton, TShiftState, int, int) {
      EXPECT_EQ(sender, &knob);
      note("down");
    };
    knob.OnMouseMove = [this, note](QObject *, TShiftState, int x, int) {
      note(QString("move%1").arg(x));
    };
    knob.OnMouseUp = [this, note](QObject *, TMouseButton, TShiftState, int, int) { note("up"); };
    knob.OnClick = [this, note](QObject *) { note("click"); };
    knob.OnDblClick = [this, note](QObject *) { note("dblclick"); };
  }

  ShownControl<tknob> shown;
  tknob &knob;
  MouseDriver mouse;
  TKnobImageList strip;
  QStringList events;
};

TEST_F(KnobTest, ConstructedAsTheWindowExpects) {
  EXPECT_EQ(knob.Max(), 127);
  EXPECT_EQ(knob.Min(), 0);
  EXPECT_TRUE(knob.ShowPos());
  EXPECT_EQ(knob.size(), QSize(30, 30));
  EXPECT_EQ(knob.cursor().shape(), Qt::PointingHandCursor);
  knob.SetTag(7);
  EXPECT_EQ(knob.property("Tag").toInt(), 7);
  EXPECT_FALSE(strip.Masked());
}

TEST_F(KnobTest, OwnerSeesEachMoveBeforeTheStep) {
  RecordEvents();
  knob.SetPosition(10);
  mouse.Press(QPoint(10, 10));
  EXPECT_TRUE(PointerHidden());
  mouse.Move(QPoint(11, 10));
  mouse.Move(QPoint(12, 10));
  mouse.Move(QPoint(11, 10));
  mouse.Release(QPoint(11, 10));
  EXPECT_EQ(events,
            QStringList({"down@10", "move11@10", "move12@11", "move11@12", "click@11", "up@11"}));
  EXPECT_EQ(knob.Position(), 11);
}

TEST_F(KnobTest, PointerIsPutBackWhereTheDragBegan) {
  const QPoint start = knob.mapToGlobal(QPoint(10, 10));
  QCursor::setPos(start);
  mouse.Press(QPoint(10, 10));
  EXPECT_EQ(knob.SavedPointerPosition(), QCursor::pos());
  mouse.Move(QPoint(25, 10));
  QCursor::setPos(start + QPoint(300, 0));  // the hidden pointer travelled on
  mouse.Release(QPoint(300, 10));
  EXPECT_FALSE(PointerHidden());
  EXPECT_EQ(QCursor::pos(), knob.SavedPointerPosition());
}

TEST_F(KnobTest, ShiftStepClampsAtMaxAndTheNextMoveKeepsIt) {
  knob.SetPosition(125);
  mouse.Press(QPoint(10, 10));
  mouse.Move(QPoint(11, 10), Qt::ShiftModifier);
  EXPECT_EQ(knob.Position(), 127);
  EXPECT_EQ(knob.FrameIndex(), 29);
  mouse.Move(QPoint(12, 10), Qt::ShiftModifier);
  EXPECT_EQ(knob.Position(), 127);
  mouse.Release(QPoint(12, 10));
}

TEST_F(KnobTest, MovesWithoutADragStateChangeNothing) {
  int moves = 0;
  knob.OnMouseMove = [&](QObject *, TShiftState, int, int) { ++moves; };
  knob.SetPosition(50);
  mouse.Press(QPoint(10, 10), Qt::ControlModifier);
  mouse.Move(QPoint(20, 10), Qt::ControlModifier);
  mouse.Release(QPoint(20, 10), Qt::ControlModifier);
  mouse.Press(QPoint(10, 10), {}, Qt::RightButton);
  mouse.Move(QPoint(20, 10));
  mouse.Release(QPoint(20, 10), {}, Qt::RightButton);
  mouse.Move(QPoint(25, 10));  // no button: the pointer coming back after a drag looks so
  EXPECT_EQ(knob.Position(), 50);
  EXPECT_EQ(knob.LastDragCoordinate(), 10);
  EXPECT_EQ(moves, 3);
}

TEST_F(KnobTest, EveryDragGoesTheWayThePointerWent) {
  knob.SetPosition(50);
  mouse.Press(QPoint(10, 10));
  mouse.Move(QPoint(30, 10));
  mouse.Release(QPoint(30, 10));
  EXPECT_EQ(knob.Position(), 51);
  // The pointer was put back at x 10; the next drag leftwards must go down, not up.
  mouse.Press(QPoint(10, 10));
  mouse.Move(QPoint(9, 10));
  EXPECT_EQ(knob.Position(), 50);
  // Leftwards across the left edge: down at every move.
  mouse.Move(QPoint(0, 10));
  mouse.Move(QPoint(-1, 10));
  mouse.Move(QPoint(-2, 10));
  EXPECT_EQ(knob.Position(), 47);
  mouse.Release(QPoint(-2, 10));
}

TEST_F(KnobTest, CtrlClickTakesANewDefaultAndDoubleClickReturnsToIt) {
  knob.SetPosition(64);
  mouse.Press(QPoint(10, 10), Qt::ControlModifier);
  mouse.Release(QPoint(10, 10), Qt::ControlModifier);
  EXPECT_EQ(knob.PositionDefault(), 64);
  // A release with another button still held is no Ctrl+click; the last release is.
  knob.SetPosition(70);
  mouse.Press(QPoint(10, 10), Qt::ControlModifier, Qt::RightButton);
  mouse.Press(QPoint(10, 10), Qt::ControlModifier);
  mouse.Release(QPoint(10, 10), Qt::ControlModifier);
  EXPECT_EQ(knob.PositionDefault(), 64);
  mouse.Release(QPoint(10, 10), Qt::ControlModifier, Qt::RightButton);
  EXPECT_EQ(knob.PositionDefault(), 70);
  knob.SetPositionDefault(64);
  RecordEvents();
  mouse.DoubleClick(QPoint(10, 10));
  EXPECT_EQ(knob.Position(), 64);
  EXPECT_EQ(events,
            QStringList({"down@70", "click@70", "up@70", "dblclick@70", "down@64", "up@64"}));
}

TEST_F(KnobTest, SettingTheSameValueAgainDrawsNothing) {
  knob.SetPosition(0);
  EXPECT_EQ(knob.FrameIndex(), -1);
  knob.SetPosition(1);
  knob.SetPosition(0);
  EXPECT_EQ(knob.FrameIndex(), 0);
  knob.SetPosition(200);
  EXPECT_EQ(knob.Position(), 127);
  EXPECT_EQ(knob.FrameIndex(), 29);
  knob.SetPosition(64);
  EXPECT_EQ(knob.FrameIndex(), 15);
  knob.SetFlushnow(true);
  EXPECT_FALSE(knob.Flushnow());
  EXPECT_EQ(knob.FrameIndex(), -1);
  knob.SetPosition(64);
  EXPECT_EQ(knob.FrameIndex(), -1);
}

TEST_F(KnobTest, FramesForOtherRangesAndNoStrip) {
  knob.SetMax(48);
  knob.SetPosition(48);
  EXPECT_EQ(knob.FrameIndex(), 29);
  knob.SetMax(0);
  knob.SetPosition(3);  // clamps to 0; the empty range shows the first frame
  EXPECT_EQ(knob.Position(), 0);
  EXPECT_EQ(knob.FrameIndex(), 0);
  knob.SetiImageList(nullptr);
  EXPECT_EQ(knob.FrameIndex(), -1);
  knob.SetMax(127);
  knob.SetPosition(8);  // no strip: the value still changes
  EXPECT_EQ(knob.Position(), 8);
}

TEST_F(KnobTest, MouseMoveHandedOverByTheOwner) {
  QStringList seen;
  knob.OnMouseMove = [&](QObject *, TShiftState, int, int) {
    seen << QString::number(knob.Position());
  };
  knob.SetPosition(127);
  knob.MouseMove(ssLeft, 0, 0);  // LastDragCoordinate is 0: no step
  EXPECT_EQ(knob.Position(), 127);
  mouse.Press(QPoint(10, 10));
  mouse.Release(QPoint(10, 10));
  knob.MouseMove(ssLeft, 0, 0);
  EXPECT_EQ(knob.Position(), 126);
  EXPECT_EQ(knob.LastDragCoordinate(), 0);
  EXPECT_EQ(seen, QStringList({"127", "127"}));
}

TEST_F(KnobTest, CtrlNoHexReadsAndParses) {
  knob.SetCtrlNo(127);
  EXPECT_EQ(knob.CtrlNoHEX(), "$7F");
  knob.SetCtrlNoHEX("$100");
  EXPECT_EQ(knob.CtrlNo(), 256);
  knob.SetCtrlNoHEX("70000");  // kept to 16 bits
  EXPECT_EQ(knob.CtrlNo(), 70000 - 65536);
  EXPECT_THROW(knob.SetCtrlNoHEX("$xy"), EConvertError);
  EXPECT_EQ(knob.CtrlNo(), 70000 - 65536);
}

TEST_F(KnobTest, HidingTheKnobMidDragGivesThePointerBack) {
  mouse.Press(QPoint(10, 10));
  EXPECT_TRUE(PointerHidden());
  knob.hide();
  EXPECT_FALSE(PointerHidden());
  mouse.Release(QPoint(10, 10));
  EXPECT_FALSE(PointerHidden());
}

}  // namespace
