// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The value box, and its link with a knob, driven by real events on the offscreen platform.
#include <gtest/gtest.h>

#include <QLabel>
#include <QStringList>

#include "ControlsTestSupport.h"
#include "DragTweak.h"
#include "Exception.h"
#include "knob.h"

namespace {

class DragTweakTest : public ::testing::Test {
 protected:
  DragTweakTest() : box(*shown.control), mouse(&box) {
    box.resize(40, 18);
    box.FillRange(0, 127, "", "");
    box.SetPositionDefault(90);
  }
  ~DragTweakTest() override { EXPECT_FALSE(PointerHidden()) << "a press left the pointer hidden"; }

  void Activate() {
    shown.window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(shown.window.get()));
  }
  void ReleaseKey(Qt::Key key) { QTest::keyRelease(&box, key); }

  ShownControl<TDragTweak> shown;
  TDragTweak &box;
  MouseDriver mouse;
};

TEST_F(DragTweakTest, ConstructedAsTheWindowExpects) {
  TDragTweak fresh;
  EXPECT_EQ(fresh.Position(), -1);
  EXPECT_FALSE(fresh.TabStop());
  EXPECT_EQ(fresh.cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(DragTweakTest, ShowsItsCaptionInLimeOnBlack) {
  box.SetCaption("8");
  const QImage picture = box.grab().toImage();
  int lime = 0, black = 0;
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width(); ++x) {
      const QColor c = picture.pixelColor(x, y);
      if (c.green() > 200 && c.red() < 60 && c.blue() < 60) ++lime;
      if (c == Qt::black) ++black;
    }
  }
  EXPECT_GT(lime, 5);
  EXPECT_GT(black, picture.width() * picture.height() / 2);
}

TEST_F(DragTweakTest, DragWithShiftAndDoubleClickBack) {
  QStringList seen;
  box.OnMouseMove = [&](QObject *, TShiftState, int, int) {
    seen << QString::number(box.Position());
  };
  mouse.Press(QPoint(20, 9));
  EXPECT_TRUE(box.hasFocus());
  EXPECT_TRUE(PointerHidden());
  mouse.Move(QPoint(21, 9), Qt::ShiftModifier);
  mouse.Move(QPoint(22, 9));
  mouse.Release(QPoint(22, 9));
  EXPECT_EQ(box.Position(), 11);
  EXPECT_EQ(seen, QStringList({"0", "10"}));  // the owner sees the value before each step
  mouse.DoubleClick(QPoint(20, 9));
  EXPECT_EQ(box.Caption(), "90");
}

TEST_F(DragTweakTest, AnyButtonHidesThePointerUntilTheLastIsLetGo) {
  const QPoint start = box.mapToGlobal(QPoint(20, 9));
  QCursor::setPos(start);
  mouse.Press(QPoint(20, 9), {}, Qt::RightButton);
  EXPECT_TRUE(PointerHidden());
  mouse.Move(QPoint(30, 9));  // the right button does not drag
  EXPECT_EQ(box.Position(), 0);
  mouse.Press(QPoint(30, 9));
  mouse.Release(QPoint(30, 9), {}, Qt::RightButton);
  EXPECT_TRUE(PointerHidden());
  QCursor::setPos(start + QPoint(80, 0));
  mouse.Release(QPoint(30, 9));
  EXPECT_FALSE(PointerHidden());
  EXPECT_EQ(QCursor::pos(), start);
}

TEST_F(DragTweakTest, ArrowKeysStepOnReleaseAndReportAsAMouseUp) {
  Activate();
  box.setFocus();
  QStringList seen;
  box.onKeyUp = [&](QObject *, int key, TShiftState) {
    seen << QStringLiteral("key%1@%2").arg(key == Qt::Key_Right ? "R" : "?").arg(box.Position());
  };
  box.OnMouseUp = [&](QObject *sender, TMouseButton button, TShiftState shift, int x, int y) {
    EXPECT_EQ(sender, &box);
    EXPECT_EQ(button, mbLeft);
    EXPECT_EQ(shift, TShiftState(ssLeft));
    EXPECT_EQ(QPoint(x, y), QPoint(0, 0));
    seen << QStringLiteral("up@%1").arg(box.Position());
  };
  box.SetPosition(126);
  QTest::keyPress(&box, Qt::Key_Right);
  EXPECT_EQ(box.Position(), 126);  // the press alone does nothing
  ReleaseKey(Qt::Key_Right);
  ReleaseKey(Qt::Key_Right);  // on the last entry: stays, still reported
  EXPECT_EQ(seen, QStringList({"keyR@126", "up@127", "keyR@127", "up@127"}));
  ReleaseKey(Qt::Key_Left);
  EXPECT_EQ(box.Position(), 126);
}

TEST_F(DragTweakTest, ArrowKeysNeverMoveAVisiblePointer) {
  Activate();
  box.setFocus();
  const QPoint elsewhere = box.mapToGlobal(QPoint(150, 60));
  QCursor::setPos(elsewhere);
  ReleaseKey(Qt::Key_Left);
  EXPECT_EQ(QCursor::pos(), elsewhere);
  EXPECT_FALSE(PointerHidden());
}

TEST_F(DragTweakTest, KeysReachTheOwner) {
  Activate();
  box.setFocus();
  QStringList seen;
  box.onKeyDown = [&](QObject *, int key, TShiftState shift) {
    seen << QStringLiteral("down%1%2").arg(key).arg(shift.testFlag(ssCtrl) ? "+ctrl" : "");
  };
  box.onKeyPress = [&](QObject *, QChar typed) { seen << QStringLiteral("press%1").arg(typed); };
  QTest::keyClick(&box, Qt::Key_A);
  QTest::keyPress(&box, Qt::Key_Return);
  EXPECT_EQ(seen, QStringList({QStringLiteral("down%1").arg(int(Qt::Key_A)), "pressa",
                               QStringLiteral("down%1").arg(int(Qt::Key_Return)), "press\r"}));
}

TEST_F(DragTweakTest, BoldWhileFocused) {
  Activate();
  QLabel other(shown.window.get());
  other.setFocusPolicy(Qt::StrongFocus);
  other.show();
  mouse.Press(QPoint(20, 9));
  mouse.Release(QPoint(20, 9));
  EXPECT_TRUE(box.font().bold());
  other.setFocus();
  EXPECT_FALSE(box.font().bold());
}

TEST_F(DragTweakTest, BadCtrlNoHexKeepsTheNumber) {
  box.SetCtrlNoHEX("$7f");
  EXPECT_EQ(box.CtrlNoHEX(), "$7F");
  EXPECT_THROW(box.SetCtrlNoHEX("seven"), EConvertError);
  EXPECT_EQ(box.CtrlNo(), 127);
}

class LinkTest : public DragTweakTest {
 protected:
  LinkTest() : knob(new tknob(shown.window.get())), knobMouse(knob) {
    knob->move(120, 30);
    knob->SetiImageList(&strip);
    knob->show();
    box.SetCtrlNo(5);
    box.SetPosition(40);
    knob->SetCopyDragTweak(&box);
  }
  tknob *knob;
  MouseDriver knobMouse;
  TKnobImageList strip;
};

TEST_F(LinkTest, LinkingTakesTheBoxsRangeAndValue) {
  EXPECT_EQ(box.CopyKnob(), knob);
  EXPECT_EQ(knob->CopyDragTweak(), &box);
  EXPECT_EQ(knob->Max(), 127);
  EXPECT_EQ(knob->CtrlNo(), 5);
  EXPECT_EQ(knob->Position(), 40);
  EXPECT_EQ(knob->PositionDefault(), 90);

  TDragTweak velrnd(shown.window.get());
  velrnd.FillRange(0, 48, "", "");
  velrnd.SetPosition(60);  // clamps to 48
  knob->SetCopyDragTweak(&velrnd);
  EXPECT_EQ(knob->Max(), 48);
  EXPECT_EQ(knob->Position(), 48);
  EXPECT_EQ(box.CopyKnob(), nullptr);  // the old box let go of the knob
  EXPECT_EQ(velrnd.CopyKnob(), knob);

  knob->SetCopyDragTweak(nullptr);
  EXPECT_EQ(knob->CopyDragTweak(), nullptr);
  EXPECT_EQ(velrnd.CopyKnob(), knob);  // the box keeps its own link
  QLabel notAKnob;
  velrnd.SetCopyKnob(&notAKnob);
  EXPECT_EQ(velrnd.CopyKnob(), nullptr);
}

TEST_F(LinkTest, AnEmptyBoxLeavesTheKnobAtItsLowestValue) {
  TDragTweak empty(shown.window.get());
  knob->SetCopyDragTweak(&empty);
  EXPECT_EQ(knob->Max(), 0);
  EXPECT_EQ(knob->Position(), 0);
}

TEST_F(LinkTest, KnobReleaseUpdatesTheBoxAndFiresItsMouseUp) {
  QStringList seen;
  knob->OnMouseUp = [&](QObject *, TMouseButton, TShiftState, int, int) {
    seen << QStringLiteral("knob up, box %1").arg(box.Position());
  };
  box.OnMouseUp = [&](QObject *sender, TMouseButton button, TShiftState, int x, int) {
    EXPECT_EQ(sender, &box);
    EXPECT_EQ(button, mbLeft);
    seen << QStringLiteral("box up %1 at %2").arg(box.Position()).arg(x);
  };
  knobMouse.Press(QPoint(10, 10));
  knobMouse.Move(QPoint(11, 10));
  knobMouse.Move(QPoint(12, 10));
  EXPECT_EQ(box.Position(), 40);  // the box follows on release only
  knobMouse.Release(QPoint(12, 10));
  EXPECT_EQ(seen, QStringList({"knob up, box 40", "box up 42 at 12"}));
  // A double-click on the knob takes both back to the default at once.
  knobMouse.DoubleClick(QPoint(10, 10));
  EXPECT_EQ(knob->Position(), 90);
  EXPECT_EQ(box.Position(), 90);
}

TEST_F(LinkTest, BoxReleaseAndArrowKeysMoveTheKnob) {
  mouse.Press(QPoint(20, 9));
  mouse.Move(QPoint(19, 9), Qt::ShiftModifier);
  EXPECT_EQ(knob->Position(), 40);
  mouse.Release(QPoint(19, 9));
  EXPECT_EQ(knob->Position(), 30);
  EXPECT_EQ(knob->FrameIndex(), 7);
  Activate();
  box.setFocus();
  ReleaseKey(Qt::Key_Right);
  EXPECT_EQ(knob->Position(), 31);
}

TEST_F(LinkTest, ABoxThatGoesAwayLeavesNoDanglingLink) {
  auto *temporary = new TDragTweak(shown.window.get());
  temporary->FillRange(0, 10, "", "");
  knob->SetCopyDragTweak(temporary);
  delete temporary;
  EXPECT_EQ(knob->CopyDragTweak(), nullptr);
  knobMouse.Press(QPoint(10, 10));
  knobMouse.Release(QPoint(10, 10));
  delete knob;
  EXPECT_EQ(box.CopyKnob(), nullptr);
}

}  // namespace
