// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>

#include "MidiOut.h"
#include "WindowFixture.h"
#include "knob.h"

namespace {

class KnobBank : public WindowFixture {
 protected:
  void SetUp() override {
    Store("setup", "pole", "0");  // east-west, so that the drags below go right
    w = OpenWithOutput();
  }

  // A real drag over `dial`: press, then one move per step to the right.
  void DragRight(tknob *dial, int moves, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::mousePress(dial, Qt::LeftButton, modifiers, QPoint(10, 15));
    for (int i = 1; i <= moves; ++i) {
      QMouseEvent move(QEvent::MouseMove, QPointF(10 + i, 15),
                       dial->mapToGlobal(QPointF(10 + i, 15)), Qt::NoButton, Qt::LeftButton,
                       modifiers);
      QApplication::sendEvent(dial, &move);
    }
    QTest::mouseRelease(dial, Qt::LeftButton, modifiers, QPoint(10 + moves, 15));
  }

  std::unique_ptr<TForm1> w;
};

}  // namespace

TEST_F(KnobBank, ADragSendsThePositionBeforeEachStep) {
  DragRight(w->knob[2], 3);
  EXPECT_EQ(Sent(), QStringList({"B0 1A 00", "B0 1A 01", "B0 1A 02"}));
  EXPECT_EQ(w->knob[2]->Position(), 3);
}

TEST_F(KnobBank, TheChannelComesFromTheGlobalListOrTheKnobsOwn) {
  w->knob[2]->SetTag3(2);
  w->kchannel->setChecked(true);
  w->knob1MouseMove(w->knob[2], ssLeft, 0, 0);
  w->kchannel->setChecked(false);
  w->channel->setCurrentIndex(5);
  w->knob1MouseMove(w->knob[2], ssLeft, 0, 0);
  w->channel->setCurrentIndex(17);  // " ch 18": entries past 16 wrap to MIDI channels 1..16
  w->knob1MouseMove(w->knob[2], ssShift | ssLeft, 0, 0);
  EXPECT_EQ(Sent(), QStringList({"B2 1A 00", "B5 1A 00", "B1 1A 00"}));
}

TEST_F(KnobBank, EachMessageTypeCarriesItsOwnDataBytes) {
  tknob *dial = w->knob[0];
  dial->SetPosition(10);
  for (int type : {192, 208, 160}) {
    dial->SetTag1(type);
    dial->SetTag2(60);
    w->knob1MouseMove(dial, ssLeft, 0, 0);
  }
  EXPECT_EQ(Sent(), QStringList({"C0 0A", "D0 0A", "A0 3C 0A"}));
}

TEST_F(KnobBank, ControllersUpTo127SendAndAStoredNumberBeyondSendsNothing) {
  tknob *dial = w->knob[0];
  dial->SetPosition(5);
  for (int number : {0, 127, 128}) {
    dial->SetTag2(number);
    w->knob1MouseMove(dial, ssLeft, 0, 0);
  }
  dial->SetTag1(160);
  dial->SetTag2(127);  // key 127 of PolyAftertouch
  w->knob1MouseMove(dial, ssLeft, 0, 0);
  EXPECT_EQ(Sent(), QStringList({"B0 00 05", "B0 7F 05", "A0 7F 05"}));
}

TEST_F(KnobBank, OnlyTheLeftButtonAloneOrWithShiftSends) {
  w->SetStatusText("kept");
  for (TShiftState state : {TShiftState(), TShiftState(ssCtrl | ssLeft), TShiftState(ssRight),
                            TShiftState(ssAlt | ssLeft), TShiftState(ssLeft | ssMiddle)})
    w->knob1MouseMove(w->knob[0], state, 0, 0);
  EXPECT_TRUE(Sent().isEmpty());
  EXPECT_EQ(w->StatusText(), "kept");
}

TEST_F(KnobBank, TheSpeedKnobTurnsButSendsAndShowsNothing) {
  w->SetStatusText("kept");
  DragRight(w->speed, 2);
  w->knob1MouseEnter(w->speed);
  EXPECT_EQ(w->speed->Position(), 8);
  EXPECT_TRUE(Sent().isEmpty());
  EXPECT_EQ(w->StatusText(), "kept");
}

TEST_F(KnobBank, KeyboardStepsStopAtTheEndsAndAlwaysSend) {
  tknob *dial = w->knob[4];
  dial->SetPosition(3);
  w->TweakKnob(dial, true);
  EXPECT_EQ(dial->Position(), 0);
  EXPECT_EQ(w->StatusText(), "k5=0  (kCH=1) ");
  dial->SetPosition(125);
  w->TweakKnob(dial, false);
  EXPECT_EQ(dial->Position(), 127);
  w->speed->SetPosition(0);
  w->TweakKnob(dial, false);
  EXPECT_EQ(Sent(), QStringList({"B0 1C 00", "B0 1C 7F", "B0 1C 7F"}));
}

TEST_F(KnobBank, EnteringAKnobDescribesIt) {
  w->knob[0]->SetPosition(64);
  w->knob1MouseEnter(w->knob[0]);
  EXPECT_EQ(w->StatusText(), "ControlChange #24 = 64 kCH=1");
  w->knob[1]->SetTag1(192);
  w->knob[1]->SetTag3(3);
  w->knob[1]->SetPosition(45);
  w->knob1MouseEnter(w->knob[1]);
  EXPECT_EQ(w->StatusText(), "ProgramChange = 45 kCH=4");
}

TEST_F(KnobBank, AllKnobsGoMaxSends22MessagesAndTheKnobsShowWhatWasSent) {
  w->knob[3]->SetTag1(192);
  w->knob[21]->SetTag3(4);
  w->kchannel->setChecked(true);
  DragRight(w->knob[0], 2);  // leaves the knob's last drag coordinate away from 0
  backend.ClearSent();
  w->maxx->trigger();
  QStringList sent = Sent();
  ASSERT_EQ(sent.size(), 22);
  EXPECT_EQ(sent[0], "B0 18 7F");
  EXPECT_EQ(sent[3], "C0 7F");
  EXPECT_EQ(sent[21], "B4 2D 7F");
  for (tknob *dial : w->knob) EXPECT_EQ(dial->Position(), 127);
  backend.ClearSent();
  w->Minn->trigger();
  EXPECT_EQ(Sent()[0], "B0 18 00");
  EXPECT_EQ(w->knob[0]->Position(), 0);
}

TEST_F(KnobBank, PanicSendsExactly16AllSoundOffs) {
  w->knob[0]->SetTag1(192);
  w->kchannel->setChecked(true);
  w->channel->setCurrentIndex(9);
  w->Panic1->trigger();
  QStringList expected;
  for (int c = 0; c < 16; ++c) expected << QString("B%1 78 00").arg(c, 1, 16).toUpper();
  EXPECT_EQ(Sent(), expected);
}

TEST_F(KnobBank, AKnobWithAnUnknownStoredTypeSendsNothingAndSaysWhy) {
  Store("knob", "knobctrl2", "300");
  w.reset();
  w = OpenWithOutput();
  w->knob1MouseMove(w->knob[1], ssLeft, 0, 0);
  EXPECT_TRUE(Sent().isEmpty());
  EXPECT_TRUE(w->StatusText().contains("unknown message type 300"));
  w->knob1MouseEnter(w->knob[1]);
  EXPECT_TRUE(w->StatusText().contains("unknown message type 300"));
  EXPECT_EQ(Stored("knob", "knobctrl2"), "300");
}

TEST_F(KnobBank, AllKnobsGoMaxEndsAtTheFirstFailedSendWithOneErrorAndMovesNoKnob) {
  w->knob[4]->SetPosition(30);
  w->MidiOutput1->ClosePort();
  w->maxx->trigger();
  EXPECT_EQ(dialogs.errors.size(), 1);
  EXPECT_TRUE(Sent().isEmpty());
  for (tknob *dial : w->knob) EXPECT_EQ(dial->Position(), dial == w->knob[4] ? 30 : 0);
}

namespace {

class KnobSetup : public WindowFixture {
 protected:
  void Pick(QComboBox *box, int index) {
    box->setCurrentIndex(index);
    emit box->activated(index);
  }
  std::unique_ptr<TForm1> w = Open();
};

}  // namespace

TEST_F(KnobSetup, PickingAKnobShowsItsStoredSetUp) {
  Pick(w->knobbox, 6);
  EXPECT_EQ(w->Edit1->text(), "");
  EXPECT_EQ(w->knobLabel[6]->text(), "knob");
  EXPECT_EQ(w->ctrl->currentText(), "ControlChange");
  EXPECT_EQ(w->ctrlno->currentText(), " #30");
  EXPECT_EQ(w->knobchannel->currentText(), " ch 1");
}

TEST_F(KnobSetup, ANameIsCommittedByEnterOnly) {
  w->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
  w->PageControl1->setCurrentWidget(w->TabSheet3);
  Pick(w->knobbox, 6);
  w->Edit1->setFocus();
  QTest::keyClicks(w->Edit1, "Cutoffs");
  EXPECT_EQ(w->Edit1->text(), "Cutoff");
  EXPECT_EQ(w->knobLabel[6]->text(), "knob");
  QTest::keyClick(w->Edit1, Qt::Key_Return);
  EXPECT_EQ(w->knobLabel[6]->text(), "Cutoff");
  EXPECT_EQ(Stored("knob", "knobname7"), "Cutoff");
  EXPECT_TRUE(w->knobbox->hasFocus());
}

TEST_F(KnobSetup, AClearedNameStaysClearedAfterARestart) {
  w.reset();
  Store("knob", "knobname7", "Cutoff");
  w = Open();
  w->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
  w->PageControl1->setCurrentWidget(w->TabSheet3);
  Pick(w->knobbox, 6);
  w->Edit1->setFocus();
  w->Edit1->selectAll();
  QTest::keyClick(w->Edit1, Qt::Key_Backspace);
  QTest::keyClick(w->Edit1, Qt::Key_Return);
  EXPECT_EQ(w->knobLabel[6]->text(), "");
  w.reset();
  EXPECT_EQ(Stored("knob", "knobname7"), "");
  w = Open();
  EXPECT_EQ(w->knobLabel[6]->text(), "") << "the default name came back";
}

TEST_F(KnobSetup, MessageTypeAndControllerNumberReachTheKnobAndTheStore) {
  Pick(w->knobbox, 6);
  Pick(w->ctrl, 2);
  EXPECT_FALSE(w->ctrlno->isEnabled());
  EXPECT_EQ(w->knob[6]->Tag1(), 192);
  EXPECT_EQ(Stored("knob", "knobctrl7"), "192");
  EXPECT_EQ(Stored("knob", "knobctrlno7"), "missing");

  Pick(w->knobbox, 2);  // another ControlChange knob: the editor stays disabled
  EXPECT_FALSE(w->ctrlno->isEnabled());
  Pick(w->knobbox, 6);
  w->ctrlno->setCurrentIndex(74);
  Pick(w->ctrl, 1);
  EXPECT_TRUE(w->ctrlno->isEnabled());
  EXPECT_EQ(w->knob[6]->Tag1(), 176);
  EXPECT_EQ(w->knob[6]->Tag2(), 74);
  EXPECT_EQ(Stored("knob", "knobctrl7"), "176");
  EXPECT_EQ(Stored("knob", "knobctrlno7"), "74");

  Pick(w->knobchannel, 2);
  EXPECT_EQ(w->knob[6]->Tag3(), 2);
  EXPECT_EQ(Stored("knob", "knobchannel7"), "2");
}

TEST_F(KnobSetup, NameColourIsStoredAsRgbWithRedInTheLowByte) {
  Pick(w->knobbox, 3);
  dialogs.colours.push_back(QColor());
  w->namecolorClick(w->namecolor);
  EXPECT_EQ(Stored("knob", "knobnamecolor4"), "missing");
  dialogs.colours.push_back(QColor(Qt::red));
  w->namecolorClick(w->namecolor);
  EXPECT_EQ(Stored("knob", "knobnamecolor4"), "255");
  EXPECT_EQ(w->knobLabel[3]->palette().color(QPalette::WindowText), QColor(Qt::red));
}

TEST_F(KnobSetup, PagesSwitchTheSnapshotAndSchemeButtonsAndTheRightClickMenu) {
  w->SetStatusText("old");
  w->PageControl1->setCurrentWidget(w->TabSheet2);
  EXPECT_EQ(w->StatusText(), "");
  EXPECT_FALSE(w->snapshotpanel->isEnabled());
  EXPECT_FALSE(w->schemepanel->isEnabled());
  w->PageControl1->setCurrentWidget(w->TabSheet3);
  EXPECT_TRUE(w->snapshotpanel->isEnabled());
  EXPECT_TRUE(w->schemepanel->isEnabled());
  w->PageControl1->setCurrentWidget(w->TabSheet1);
  EXPECT_TRUE(w->snapshotpanel->isEnabled());
}

TEST_F(KnobSetup, TheRightClickMenuOpensOnTheKnobPageOnly) {
  // The menu opens when the right button comes up, after the control under it saw the release.
  auto rightClick = [&] {
    QTest::mouseClick(w->windowHandle(), Qt::RightButton, {}, QPoint(5, 156));
    bool shown = w->PopupMenu1->isVisible();
    w->PopupMenu1->hide();
    return shown;
  };
  w->show();
  w->PageControl1->setCurrentWidget(w->TabSheet2);
  EXPECT_FALSE(rightClick());
  w->PageControl1->setCurrentWidget(w->TabSheet3);
  EXPECT_FALSE(rightClick());
  w->PageControl1->setCurrentWidget(w->TabSheet1);
  EXPECT_TRUE(rightClick());
}
