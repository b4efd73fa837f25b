// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Knobs and value boxes without a mouse: the turning keys, the wheel, the focus ring, and what a
// screen reader is told.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QLabel>
#include <QWheelEvent>

#include "ControlsTestSupport.h"
#include "DragTweak.h"
#include "KnobArt.h"
#include "knob.h"

namespace {

// A wheel turn of `delta` eighths of a degree (120 = one notch) over `control`.
void Wheel(QWidget *control, int delta, Qt::KeyboardModifiers mods = {}) {
  const QPointF at(10, 10);
  QWheelEvent wheel(at, control->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, mods,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(control, &wheel);
}

class KnobKeys : public ::testing::Test {
 protected:
  KnobKeys() : knob(*shown.control) {
    knob.SetiImageList(&strip);
    knob.SetPosition(10);
    // Each event with the knob's position when it fired, and the shift state it carried.
    knob.OnMouseMove = [this](QObject *, TShiftState shift, int, int) {
      events << QStringLiteral("move%1%2")
                    .arg(knob.Position())
                    .arg(shift.testFlag(ssShift) ? "S" : "");
    };
    knob.OnMouseUp = [this](QObject *, TMouseButton button, TShiftState, int, int) {
      events << QStringLiteral("up%1%2").arg(knob.Position()).arg(button == mbLeft ? "" : "?");
    };
  }

  ShownControl<tknob> shown;
  tknob &knob;
  TKnobImageList strip;
  QStringList events;
};

TEST_F(KnobKeys, EachKeyStepsThenRaisesTheDragEventsAndTheReleaseEndsTheTurn) {
  struct Case {
    Qt::Key key;
    int expected;
  };
  for (const Case &c : {Case{Qt::Key_Up, 11},
                        {Qt::Key_Right, 12},
                        {Qt::Key_Down, 11},
                        {Qt::Key_Left, 10},
                        {Qt::Key_PageUp, 18},
                        {Qt::Key_PageDown, 10},
                        {Qt::Key_End, 127},
                        {Qt::Key_Home, 0},
                        {Qt::Key_Down, 0}}) {
    events.clear();
    QTest::keyClick(&knob, c.key);
    EXPECT_EQ(knob.Position(), c.expected) << c.key;
    EXPECT_EQ(events, QStringList({QStringLiteral("move%1").arg(c.expected),
                                   QStringLiteral("up%1").arg(c.expected)}));
  }
  // Shift goes with the move, as for a drag with Shift held; it does not change the step.
  events.clear();
  QTest::keyClick(&knob, Qt::Key_Up, Qt::ShiftModifier);
  EXPECT_EQ(events, QStringList({"move1S", "up1"}));
}

TEST_F(KnobKeys, AHeldKeyTurnsOnEachRepeatAndEndsOnceWhenLetGo) {
  QTest::keyPress(&knob, Qt::Key_Up);
  QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier, QString(), true);
  QApplication::sendEvent(&knob, &repeat);
  QKeyEvent repeatedRelease(QEvent::KeyRelease, Qt::Key_Up, Qt::NoModifier, QString(), true);
  QApplication::sendEvent(&knob, &repeatedRelease);
  QTest::keyRelease(&knob, Qt::Key_Up);
  EXPECT_EQ(events, QStringList({"move11", "move12", "up12"}));
}

TEST_F(KnobKeys, KnobAndNoteKeysAndOtherModifiersPassThrough) {
  for (Qt::Key key : {Qt::Key_A, Qt::Key_1, Qt::Key_Comma, Qt::Key_Space, Qt::Key_F3}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(QChar(key)));
    QApplication::sendEvent(&knob, &press);
    EXPECT_FALSE(press.isAccepted()) << key;
  }
  for (Qt::KeyboardModifiers mods :
       {Qt::KeyboardModifiers(Qt::KeypadModifier), Qt::KeyboardModifiers(Qt::ControlModifier),
        Qt::KeyboardModifiers(Qt::AltModifier)}) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Up, mods);
    QApplication::sendEvent(&knob, &press);
    EXPECT_FALSE(press.isAccepted());
  }
  EXPECT_EQ(knob.Position(), 10);
  EXPECT_TRUE(events.isEmpty());
}

TEST_F(KnobKeys, TheWheelTurnsOneStepANotchEightWithShiftAndGathersPartNotches) {
  Wheel(&knob, 120);
  EXPECT_EQ(events, QStringList({"move11", "up11"}));
  events.clear();
  Wheel(&knob, -240, Qt::ShiftModifier);
  EXPECT_EQ(events, QStringList({"move3S", "move0S", "up0"}));
  events.clear();
  Wheel(&knob, 60);
  EXPECT_TRUE(events.isEmpty());
  Wheel(&knob, 60);
  EXPECT_EQ(events, QStringList({"move1", "up1"}));
}

TEST_F(KnobKeys, TabFocusesTheKnobAndTheFocusShows) {
  EXPECT_TRUE(knob.focusPolicy() & Qt::TabFocus);
  EXPECT_TRUE(knob.focusPolicy() & Qt::WheelFocus);
  shown.window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(shown.window.get()));
  knob.clearFocus();
  const QImage unfocused = knob.grab().toImage();
  knob.setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(knob.hasFocus());
  EXPECT_NE(knob.grab().toImage(), unfocused);
}

TEST(DragTweakKeys, TurningKeysAndTheWheelStepTheBoxAndApplyItAsARelease) {
  ShownControl<TDragTweak> shown;
  TDragTweak &box = *shown.control;
  box.FillRange(0, 127, {}, {});
  box.SetPosition(50);
  QStringList ups;
  box.OnMouseUp = [&](QObject *, TMouseButton, TShiftState, int, int) {
    ups << QString::number(box.Position());
  };
  for (Qt::Key key : {Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_End,
                      Qt::Key_Home, Qt::Key_Right})
    QTest::keyClick(&box, key);
  Wheel(&box, 120);
  Wheel(&box, 240, Qt::ShiftModifier);
  EXPECT_EQ(ups, QStringList({"51", "50", "60", "50", "127", "0", "1", "2", "22"}));
  box.SetTabStop(true);
  EXPECT_TRUE(box.focusPolicy() & Qt::TabFocus);
}

// What a screen reader is given. (Its change notices need a platform that carries them: the
// end-to-end test hears them through AT-SPI.)
TEST(ScreenReader, AKnobIsADialNamedByItsLabelWithItsValueAndRange) {
  QWidget window;
  QLabel label("cutoff", &window);
  auto *knob = new tknob(&window);
  knob->SetNameLabel(&label);
  knob->SetPosition(64);
  QAccessibleInterface *dial = QAccessible::queryAccessibleInterface(knob);
  ASSERT_NE(dial, nullptr);
  EXPECT_EQ(dial->role(), QAccessible::Dial);
  EXPECT_EQ(dial->text(QAccessible::Name), "cutoff");
  EXPECT_EQ(dial->text(QAccessible::Value), "64");
  QAccessibleValueInterface *value = dial->valueInterface();
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->currentValue().toInt(), 64);
  EXPECT_EQ(value->minimumValue().toInt(), 0);
  EXPECT_EQ(value->maximumValue().toInt(), 127);
  label.setText("reso");
  EXPECT_EQ(dial->text(QAccessible::Name), "reso");

  // A value set by the screen reader turns the knob as a key does: the owner sends it.
  QStringList events;
  knob->OnMouseMove = [&](QObject *, TShiftState, int, int) { events << "move"; };
  knob->OnMouseUp = [&](QObject *, TMouseButton, TShiftState, int, int) { events << "up"; };
  value->setCurrentValue(200);
  EXPECT_EQ(knob->Position(), 127);
  EXPECT_EQ(events, QStringList({"move", "up"}));
}

TEST(ScreenReader, AValueBoxIsASliderOverItsItemsSpeakingTheItem) {
  QWidget window;
  QLabel label("Playmode", &window);
  auto *box = new TDragTweak(&window);
  box->SetNameLabel(&label);
  box->SetItems({"Note", "Major", "Minor"});
  QAccessibleInterface *slider = QAccessible::queryAccessibleInterface(box);
  ASSERT_NE(slider, nullptr);
  EXPECT_EQ(slider->role(), QAccessible::Slider);
  EXPECT_EQ(slider->text(QAccessible::Name), "Playmode");
  box->SetPosition(1);
  EXPECT_EQ(slider->text(QAccessible::Value), "Major");
  EXPECT_EQ(slider->valueInterface()->currentValue().toInt(), 1);
  EXPECT_EQ(slider->valueInterface()->maximumValue().toInt(), 2);
}

}  // namespace
