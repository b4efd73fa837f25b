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
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
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
TEST(ScreenReader, AValueSetByTheReaderTurnsTheKnobAsAKeyDoes) {
  QWidget window;
  QLabel label("cutoff", &window);
  auto *knob = new tknob(&window);
  knob->SetNameLabel(&label);
  QAccessibleInterface *dial = QAccessible::queryAccessibleInterface(knob);
  ASSERT_NE(dial, nullptr);
  label.setText("reso");  // the name follows the label
  EXPECT_EQ(dial->text(QAccessible::Name), "reso");
  QStringList events;
  knob->OnMouseMove = [&](QObject *, TShiftState, int, int) { events << "move"; };
  knob->OnMouseUp = [&](QObject *, TMouseButton, TShiftState, int, int) { events << "up"; };
  dial->valueInterface()->setCurrentValue(200);
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
