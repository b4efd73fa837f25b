// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include "MidiOut.h"
#include "MouseUpButton.h"
#include "WindowFixture.h"
#include "knob.h"

namespace {

class Snapshots : public WindowFixture {
 protected:
  QPushButton *Caption(TForm1 &w, int caption) {
    for (QPushButton *b : w.snapshotpanel->findChildren<QPushButton *>())
      if (b->text() == QString::number(caption)) return b;
    return nullptr;
  }
  void Click(QWidget *button, Qt::MouseButton which, Qt::KeyboardModifiers modifiers) {
    QTest::mouseClick(button, which, modifiers);
  }
};

}  // namespace

TEST_F(Snapshots, ShiftClickRecordsUnderTheButtonsComponentName) {
  {
    auto w = Open();
    for (int k = 0; k < 22; ++k) w->knob[k]->SetPosition(k + 1);
    Click(Caption(*w, 17), Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_TRUE(Caption(*w, 17)->font().bold());
  }
  EXPECT_EQ(Stored("Button2", "knob1"), "1");
  EXPECT_EQ(Stored("Button2", "knob22"), "22");
  auto w = Open();
  EXPECT_TRUE(Caption(*w, 17)->font().bold());
  EXPECT_FALSE(Caption(*w, 2)->font().bold());
}

TEST_F(Snapshots, ARecallSends22MessagesInKnobOrderEvenWhenNothingMoves) {
  auto w = OpenWithOutput();
  Click(Caption(*w, 1), Qt::LeftButton, Qt::ShiftModifier);
  Click(Caption(*w, 1), Qt::LeftButton, Qt::NoModifier);
  QStringList sent = Sent();
  ASSERT_EQ(sent.size(), 22);
  for (int k = 1; k <= 22; ++k)
    EXPECT_EQ(sent[k - 1], QString("B0 %1 00").arg(k + 23, 2, 16, QChar('0')).toUpper());
}

TEST_F(Snapshots, ShortcutsRecallByCaptionAndNeverRecord) {
  Store("Button32", "knob1", "40");  // snapshot 14
  Store("Button25", "knob2", "50");  // snapshot 32 (knob1 missing: an empty snapshot)
  Store("Button25", "knob1", "7");
  auto w = OpenWithOutput();
  w->findChild<QAction *>("ss141")->trigger();  // Ctrl+Q
  EXPECT_EQ(w->knob[0]->Position(), 40);
  EXPECT_EQ(Sent().size(), 22);
  EXPECT_EQ(Sent()[0], "B0 18 28");
  w->findChild<QAction *>("ss321")->trigger();  // Ctrl+J
  EXPECT_EQ(w->knob[1]->Position(), 50);
  backend.ClearSent();
  w->findChild<QAction *>("ss11")->trigger();  // Ctrl+1 on an empty snapshot
  EXPECT_TRUE(Sent().isEmpty());
  EXPECT_FALSE(Caption(*w, 1)->font().bold());
  EXPECT_EQ(Stored("Button1", "knob1"), "missing");
}

TEST_F(Snapshots, ModifiersAndButtonsDecideBetweenRecordRecallAndNothing) {
  auto w = OpenWithOutput();
  QPushButton *empty = Caption(*w, 5), *recorded = Caption(*w, 6);
  Click(recorded, Qt::LeftButton, Qt::ShiftModifier);
  backend.ClearSent();
  Click(empty, Qt::LeftButton, Qt::ControlModifier | Qt::ShiftModifier);
  Click(empty, Qt::LeftButton, Qt::NoModifier);
  EXPECT_TRUE(Sent().isEmpty());
  EXPECT_FALSE(empty->font().bold());
  for (Qt::MouseButton which : {Qt::RightButton, Qt::MiddleButton}) {
    Click(empty, which, Qt::ShiftModifier);
    Click(recorded, which, Qt::NoModifier);
  }
  EXPECT_TRUE(Sent().isEmpty());
  EXPECT_FALSE(empty->font().bold());
  Click(recorded, Qt::LeftButton, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(Sent().size(), 22);
}

TEST_F(Snapshots, ARecallUsesTheKnobsCurrentSetUp) {
  auto w = OpenWithOutput();
  w->knob[0]->SetPosition(9);
  Click(Caption(*w, 3), Qt::LeftButton, Qt::ShiftModifier);
  w->knob[0]->SetTag2(74);
  w->knob[0]->SetPosition(0);
  Click(Caption(*w, 3), Qt::LeftButton, Qt::NoModifier);
  EXPECT_EQ(Sent()[0], "B0 4A 09");
}

TEST_F(Snapshots, AFailedSendEndsTheRecallAtThatKnob) {
  Store("Button1", "knob1", "10");
  Store("Button1", "knob2", "20");
  auto w = Open();  // no output open
  Click(Caption(*w, 1), Qt::LeftButton, Qt::NoModifier);
  EXPECT_EQ(dialogs.errors.size(), 1);
  EXPECT_EQ(w->knob[0]->Position(), 10);
  EXPECT_EQ(w->knob[1]->Position(), 0);
}

TEST_F(Snapshots, AMusiciansSetUpSurvivesARestart) {
  {
    auto w = OpenWithOutput();
    w->knobbox->setCurrentIndex(6);
    w->knobboxChange(w->knobbox);
    w->ctrlno->setCurrentIndex(74);
    w->ctrlnoChange(w->ctrlno);
    w->Edit1->setText("Cutoff");
    QChar enter(13);
    w->Edit1KeyPress(w->Edit1, enter);
    w->channel->setCurrentIndex(2);
    w->knob[6]->SetPosition(99);
    Click(Caption(*w, 4), Qt::LeftButton, Qt::ShiftModifier);
    w->close();
  }
  auto w = Open();
  EXPECT_EQ(w->knobLabel[6]->text(), "Cutoff");
  EXPECT_EQ(w->knob[6]->Position(), 0);
  w->findChild<QAction *>("ss41")->trigger();
  EXPECT_EQ(Sent()[6], "B2 4A 63");
}

namespace {

class Schemes : public WindowFixture {
 protected:
  QPushButton *Scheme(TForm1 &w, int n) { return w.schemeButton[n - 1]; }
};

}  // namespace

TEST_F(Schemes, RecordingAsksFirstAndNoWritesNothing) {
  auto w = Open();
  QTest::mouseClick(Scheme(*w, 3), Qt::LeftButton, Qt::ShiftModifier);
  EXPECT_EQ(dialogs.confirms, QStringList({"Data in Scheme3 will be changed.\r\n Continue? "}));
  EXPECT_FALSE(Scheme(*w, 3)->font().bold());
  EXPECT_EQ(Stored("scheme3", "knobctrl1"), "missing");
  for (Qt::KeyboardModifiers m :
       {Qt::KeyboardModifiers(Qt::ControlModifier), Qt::KeyboardModifiers(Qt::AltModifier),
        Qt::ControlModifier | Qt::ShiftModifier})
    QTest::mouseClick(Scheme(*w, 3), Qt::LeftButton, m);
  EXPECT_EQ(dialogs.confirms.size(), 1);
  w->findChild<QAction *>("s51")->trigger();  // Ctrl+F5 on an empty scheme
  EXPECT_EQ(dialogs.confirms.size(), 1);
}

TEST_F(Schemes, ASchemeBringsBackItsSetUpDeviceAndChannelAfterARestart) {
  {
    auto w = Open();
    w->midiout->setCurrentIndex(1);
    w->midioutChange(w->midiout);
    w->channel->setCurrentIndex(4);
    w->knob[2]->SetTag1(192);
    w->knob[2]->SetTag3(6);
    w->knob[2]->SetPosition(33);
    w->knobLabel[2]->setText("Reso");
    QPalette p = w->knobLabel[2]->palette();
    p.setColor(QPalette::WindowText, QColor(0, 0, 255));
    w->knobLabel[2]->setPalette(p);
    dialogs.confirmAnswers.push_back(true);
    QTest::mouseClick(Scheme(*w, 2), Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_TRUE(Scheme(*w, 2)->font().bold());
    // Now change everything, then select the scheme back with the right mouse button.
    w->midiout->setCurrentIndex(0);
    w->midioutChange(w->midiout);
    w->channel->setCurrentIndex(0);
    w->knob[2]->SetTag1(176);
    w->knobLabel[2]->setText("knob");
    w->close();
  }
  {
    auto w = Open();
    EXPECT_TRUE(Scheme(*w, 2)->font().bold());
    backend.ClearSent();
    QTest::mouseClick(Scheme(*w, 2), Qt::RightButton, Qt::NoModifier);
    EXPECT_TRUE(backend.Sent("Loopback Out 2").empty()) << "selecting sends no MIDI";
    EXPECT_EQ(w->MidiOutput1->DeviceID(), 1);
    EXPECT_EQ(w->knob[2]->Position(), 33);
    w->knobbox->setCurrentIndex(2);
    w->knobboxChange(w->knobbox);
    EXPECT_EQ(w->Edit1->text(), "Reso");
    EXPECT_EQ(w->ctrl->currentText(), "ProgramChange");
    EXPECT_EQ(w->knobchannel->currentIndex(), 6);
    w->close();
  }
  auto w = Open();
  EXPECT_EQ(w->knobLabel[2]->text(), "Reso");
  EXPECT_EQ(w->knobLabel[2]->palette().color(QPalette::WindowText), QColor(0, 0, 255));
  EXPECT_EQ(w->knob[2]->Tag1(), 192);
  EXPECT_EQ(w->knob[2]->Tag3(), 6);
  EXPECT_EQ(w->knob[2]->Position(), 0) << "positions are not restored at start";
  EXPECT_EQ(w->midiout->currentIndex(), 1);
  EXPECT_EQ(w->channel->currentIndex(), 4);
}

TEST_F(Schemes, ShiftWithAnyButtonAsksToRecordAndAPlainClickOnAnEmptySchemeDoesNothing) {
  auto w = Open();
  QTest::mouseClick(Scheme(*w, 7), Qt::LeftButton, Qt::NoModifier);
  EXPECT_TRUE(dialogs.confirms.isEmpty());
  QTest::mouseClick(Scheme(*w, 7), Qt::MiddleButton, Qt::ShiftModifier);
  EXPECT_EQ(dialogs.confirms.size(), 1);
}
