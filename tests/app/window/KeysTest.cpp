// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include "DragTweak.h"
#include "FakeDialogs.h"
#include "LoopbackBackend.h"
#include "MIDIappUtil.h"
#include "MidiOut.h"
#include "RadioGroup.h"
#include "Unit1.h"
#include "VirtualKeys.h"
#include "knob.h"

namespace {

QByteArray Bytes(std::initializer_list<int> values) {
  QByteArray bytes;
  for (int v : values) bytes.append(static_cast<char>(v));
  return bytes;
}

// A shown, active window over the loopback service with output device 0 open, note play mode
// "Note" and no velocity spread, so every note-on carries the velocity 90.
class KeysTest : public ::testing::Test {
 protected:
  void SetUp() override {
    w = std::make_unique<TForm1>(backend, dir.filePath("kelvane.ini"));
    w->midiout->setCurrentIndex(0);
    w->midioutChange(w->midiout);
    w->playmode->SetPosition(0);
    w->velrnd->SetPosition(0);
    w->velrndMouseUp(w->velrnd, mbLeft, {}, 0, 0);
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    backend.ClearSent();
  }

  void Page(QWidget *page, int mode) {
    w->PageControl1->setCurrentWidget(page);
    w->comkeymode->SetItemIndex(mode);
  }
  std::vector<QByteArray> Sent() const { return backend.Sent(out); }
  void Click(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(w->windowHandle(), key, modifiers);
  }

  static constexpr int kKnobs = 0, kNotes = 1;
  const QString out = QStringLiteral("Loopback Out 1");
  QTemporaryDir dir;
  FakeDialogs dialogs;
  LoopbackBackend backend;
  std::unique_ptr<TForm1> w;
};

TEST_F(KeysTest, KnobKeysStepTheirKnobAndSendAtTheEndsToo) {
  Page(w->TabSheet1, kKnobs);
  w->knob[0]->SetPosition(125);
  Click(Qt::Key_1);
  EXPECT_EQ(w->knob[0]->Position(), 127);
  Click(Qt::Key_1);
  EXPECT_EQ(Sent(), std::vector<QByteArray>({Bytes({0xB0, 24, 127}), Bytes({0xB0, 24, 127})}));
  EXPECT_EQ(w->StatusText(), "k1=127  (kCH=1) ");

  w->knob[0]->SetPosition(3);
  Click(Qt::Key_Q);
  EXPECT_EQ(w->knob[0]->Position(), 0);
  w->knob[21]->SetPosition(50);
  Click(Qt::Key_Slash);
  EXPECT_EQ(w->knob[21]->Position(), 44);
  w->knob[10]->SetPosition(50);
  Click(Qt::Key_Minus);
  EXPECT_EQ(w->knob[10]->Position(), 56);

  backend.ClearSent();
  w->knob[0]->SetPosition(60);
  QTest::sendKeyEvent(QTest::Click, w->windowHandle(), Qt::Key_Q, "Q", Qt::ShiftModifier);
  QTest::sendKeyEvent(QTest::Click, w->windowHandle(), Qt::Key_Exclam, "!", Qt::ShiftModifier);
  EXPECT_EQ(w->knob[0]->Position(), 60);
  EXPECT_TRUE(Sent().empty());
}

TEST_F(KeysTest, ThePageAndTheModeDecideWhatAKeyDoes) {
  // "q" is knob 1's down key and the note key of index 12 (note 48).
  const QByteArray noteOn = Bytes({0x90, 48, 90}), noteOff = Bytes({0x80, 48, 0});
  auto press = [&] {
    w->knob[0]->SetPosition(60);
    backend.ClearSent();
    Click(Qt::Key_Q);
  };
  Page(w->TabSheet1, kKnobs);
  press();
  EXPECT_EQ(w->knob[0]->Position(), 54);
  EXPECT_EQ(Sent(), std::vector<QByteArray>({Bytes({0xB0, 24, 54})}));

  for (QWidget *page : {w->TabSheet1, w->TabSheet2, w->TabSheet3}) {
    Page(page, kNotes);
    press();
    EXPECT_EQ(w->knob[0]->Position(), 60) << page->objectName().toStdString();
    EXPECT_EQ(Sent(), std::vector<QByteArray>({noteOn, noteOff}))
        << page->objectName().toStdString();
  }
  Page(w->TabSheet2, kKnobs);
  press();
  EXPECT_EQ(Sent(), std::vector<QByteArray>({noteOn, noteOff}));

  Page(w->TabSheet3, kKnobs);
  press();
  Click(Qt::Key_Space);
  EXPECT_EQ(w->knob[0]->Position(), 60);
  EXPECT_TRUE(Sent().empty());
  Click(Qt::Key_3, Qt::KeypadModifier);
  EXPECT_EQ(w->playmode->Position(), 3);
  Click(Qt::Key_Asterisk, Qt::KeypadModifier);
  EXPECT_EQ(w->playmode->Position(), 10);
  EXPECT_TRUE(Sent().empty());
}

TEST_F(KeysTest, KeypadKeysChooseThePlayModeBeforeTheEngineSeesTheRelease) {
  Page(w->TabSheet2, kNotes);
  QTest::keyPress(w->windowHandle(), Qt::Key_3, Qt::KeypadModifier);
  EXPECT_EQ(w->engine->Playmode(), pmNote);
  QTest::keyRelease(w->windowHandle(), Qt::Key_3, Qt::KeypadModifier);
  EXPECT_EQ(w->playmode->Position(), 3);
  EXPECT_EQ(w->engine->Playmode(), pmMajor7th);
  backend.ClearSent();
  QTest::keyPress(w->windowHandle(), Qt::Key_Z);
  EXPECT_EQ(Sent().size(), 4u) << "a seventh chord";
  QTest::keyRelease(w->windowHandle(), Qt::Key_Z);
  // Keypad keys are no note keys, whatever their Qt key says.
  backend.ClearSent();
  for (Qt::Key key : {Qt::Key_Slash, Qt::Key_Period, Qt::Key_Minus, Qt::Key_Plus, Qt::Key_Enter})
    Click(key, Qt::KeypadModifier);
  EXPECT_TRUE(Sent().empty());
}

TEST_F(KeysTest, TheIntervalBoxCountsOnlyInIntervalMode) {
  Page(w->TabSheet2, kKnobs);
  w->playmode->SetPosition(10);
  w->interval->SetPosition(3);
  QTest::keyPress(w->windowHandle(), Qt::Key_Z);
  EXPECT_EQ(w->engine->Playmode(), pm5th);
  EXPECT_EQ(Sent(), std::vector<QByteArray>({Bytes({0x90, 36, 90}), Bytes({0x90, 43, 90})}));
  w->engine->SetPlaymode(pmNote);
  QTest::keyRelease(w->windowHandle(), Qt::Key_Z);
  EXPECT_EQ(w->engine->Playmode(), pm5th);

  w->playmode->SetPosition(9);
  QTest::keyPress(w->windowHandle(), Qt::Key_Z);
  EXPECT_EQ(w->engine->Playmode(), pmMinor9th);
  QTest::keyRelease(w->windowHandle(), Qt::Key_Z);
  EXPECT_EQ(w->engine->Playmode(), pmMinor9th);
}

TEST_F(KeysTest, EveryReleaseInNoteModeShowsTheNoteWithinEightyCharacters) {
  Page(w->TabSheet2, kNotes);
  const QString note = "C2  (v90)";
  w->SetStatusText(QString(79, 'x'));
  Click(Qt::Key_Z);
  EXPECT_EQ(w->StatusText(), QString(79, 'x') + " " + note);
  w->SetStatusText(QString(80, 'x'));
  Click(Qt::Key_Z);
  EXPECT_EQ(w->StatusText(), note);
  Click(Qt::Key_F4);  // no note key: the panel still grows
  EXPECT_EQ(w->StatusText(), note + " " + note);
  Page(w->TabSheet1, kKnobs);
  w->SetStatusText("idle");
  QTest::keyRelease(w->windowHandle(), Qt::Key_Z);
  EXPECT_EQ(w->StatusText(), "idle");
}

TEST_F(KeysTest, MenuShortcutsNeverReachTheKeyDownHandler) {
  Page(w->TabSheet2, kNotes);
  QSignalSpy snapshot1(w->findChild<QAction *>("ss11"), &QAction::triggered);
  // The Ctrl key itself is no shortcut and reaches the handler; then the "1" must not, or the
  // key-down handler would push the boxes' play mode into the engine.
  QTest::keyPress(w->windowHandle(), Qt::Key_Control);
  w->engine->SetPlaymode(pmMajor);
  QTest::simulateEvent(w->windowHandle(), true, Qt::Key_1, Qt::ControlModifier, "1", false);
  EXPECT_EQ(snapshot1.count(), 1);
  EXPECT_EQ(w->engine->Playmode(), pmMajor);
  QTest::simulateEvent(w->windowHandle(), false, Qt::Key_1, Qt::ControlModifier, "1", false);
  QTest::keyRelease(w->windowHandle(), Qt::Key_Control);
  QTest::keyPress(w->windowHandle(), Qt::Key_1);
  EXPECT_EQ(w->engine->Playmode(), pmNote) << "a plain key does reach it";
  QTest::keyRelease(w->windowHandle(), Qt::Key_1);
}

TEST_F(KeysTest, AHeldKeySoundsOnceAndRepeatedReleasesAreSkipped) {
  Page(w->TabSheet2, kNotes);
  QWindow *window = w->windowHandle();
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Z, Qt::NoModifier, "z");
  QKeyEvent repeatRelease(QEvent::KeyRelease, Qt::Key_Z, Qt::NoModifier, "z", true);
  QKeyEvent repeatPress(QEvent::KeyPress, Qt::Key_Z, Qt::NoModifier, "z", true);
  QKeyEvent release(QEvent::KeyRelease, Qt::Key_Z, Qt::NoModifier, "z");
  for (QKeyEvent *event : {&press, &repeatRelease, &repeatPress, &repeatRelease, &repeatPress})
    QCoreApplication::sendEvent(window, event);
  EXPECT_EQ(Sent(), std::vector<QByteArray>({Bytes({0x90, 36, 90})}));
  QCoreApplication::sendEvent(window, &release);
  EXPECT_EQ(Sent().back(), Bytes({0x80, 36, 0}));
  EXPECT_EQ(Sent().size(), 2u);
}

TEST(VirtualKeys, CharacterKeysGoByTheirUsPositionWherePositionsAreKnown) {
  // French AZERTY: the key at the US "Z" position gives "w", the one at "Q" gives "a", the one
  // at "1" gives "&", and the ISO key beside the left Shift gives "<".
  auto key = [](int qtKey, quint32 scanCode, const QString &text,
                Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    return QKeyEvent(QEvent::KeyPress, qtKey, modifiers, scanCode, 0, 0, text);
  };
  const QKeyEvent w = key(Qt::Key_W, 44 + 8, "w");
  EXPECT_EQ(VirtualKeyOf(w, "xcb"), 0x5A);
  EXPECT_EQ(VirtualKeyOf(w, "wayland"), 0x5A);
  EXPECT_EQ(UsCharacterOf(w, "xcb"), QChar('z'));
  EXPECT_EQ(VirtualKeyOf(w, "offscreen"), 0x57) << "no positions: the key code counts";
  EXPECT_EQ(UsCharacterOf(w, "offscreen"), QChar('w'));
  EXPECT_EQ(VirtualKeyOf(key(Qt::Key_W, 0x2C, "w"), "windows"), 0x5A);
  EXPECT_EQ(UsCharacterOf(key(Qt::Key_A, 16 + 8, "a"), "xcb"), QChar('q'));
  EXPECT_EQ(UsCharacterOf(key(Qt::Key_Ampersand, 2 + 8, "&"), "xcb"), QChar('1'));
  EXPECT_EQ(UsCharacterOf(key(Qt::Key_1, 2 + 8, "1", Qt::ShiftModifier), "xcb"), QChar('!'));
  EXPECT_EQ(VirtualKeyOf(key(Qt::Key_Dead_Circumflex, 26 + 8, ""), "xcb"), 0xDB);
  EXPECT_EQ(UsCharacterOf(key(Qt::Key_Dead_Circumflex, 26 + 8, ""), "xcb"), QChar('['));

  const QKeyEvent iso = key(Qt::Key_Less, 86 + 8, "<");
  EXPECT_EQ(VirtualKeyOf(iso, "xcb"), 0) << "no US key: no note";
  EXPECT_TRUE(UsCharacterOf(iso, "xcb").isNull());
  EXPECT_EQ(VirtualKeyOf(key(Qt::Key_F3, 61 + 8, ""), "xcb"), 0x72);
  EXPECT_EQ(VirtualKeyOf(key(Qt::Key_3, 81 + 8, "3", Qt::KeypadModifier), "xcb"), 0x63);
  EXPECT_EQ(VirtualKeyOf(key(Qt::Key_Slash, 0x135, "/", Qt::KeypadModifier), "windows"), 0x6F);
  EXPECT_EQ(VirtualKeyOf(key(Qt::Key_Right, 0x14D, ""), "windows"), 0x27);
  EXPECT_TRUE(UsCharacterOf(key(Qt::Key_Q, 16 + 8, "", Qt::ControlModifier), "xcb").isNull());
}

TEST_F(KeysTest, AFrenchKeyPlaysTheNoteOfItsUsPosition) {
  Page(w->TabSheet2, kNotes);
  const QKeyEvent french(QEvent::KeyPress, Qt::Key_W, Qt::NoModifier, 44 + 8, 0, 0, "w");
  uint16_t key = VirtualKeyOf(french, "xcb");
  w->FormKeyDown(w.get(), key, {});
  w->FormKeyUp(w.get(), key, {});
  EXPECT_EQ(Sent(), std::vector<QByteArray>({Bytes({0x90, 36, 90}), Bytes({0x80, 36, 0})}));

  Page(w->TabSheet1, kKnobs);
  const QKeyEvent ampersand(QEvent::KeyPress, Qt::Key_Ampersand, Qt::NoModifier, 2 + 8, 0, 0, "&");
  QChar character = UsCharacterOf(ampersand, "xcb");
  w->knob[0]->SetPosition(10);
  w->FormKeyPress(w.get(), character);
  EXPECT_EQ(w->knob[0]->Position(), 16);
}

TEST_F(KeysTest, PitchBendCentresExactlyAndReachesTheTop) {
  w->channel->setCurrentIndex(18);  // beyond channel 16: taken modulo 16, channel 3
  auto bendAt = [&](int position) {
    w->tknobs[0]->SetPosition(position);
    w->tknob1MouseMove(w->tknobs[0], ssLeft, 0, 0);
    return Sent().back();
  };
  EXPECT_EQ(bendAt(0), Bytes({0xE2, 0x00, 0x00}));
  EXPECT_EQ(bendAt(64), Bytes({0xE2, 0x00, 0x40}));
  EXPECT_EQ(bendAt(127), Bytes({0xE2, 0x7F, 0x7F}));
  w->tknob1MouseUp(w->tknobs[0], mbLeft, {}, 0, 0);
  EXPECT_EQ(w->tknobs[0]->Position(), 64);
  EXPECT_EQ(Sent().back(), Bytes({0xE2, 0x00, 0x40}));
}

TEST_F(KeysTest, KeyboardPageKnobsSendTheirMessagesAndSpringBack) {
  w->channel->setCurrentIndex(1);
  for (int i = 1; i < 5; ++i) w->tknobs[i]->SetPosition(100);
  w->tknob2MouseMove(w->tknobs[1], {}, 0, 0);  // a pass without a button sends too
  w->tknob2MouseMove(w->tknobs[1], {}, 0, 0);
  w->tknob3MouseMove(w->tknobs[2], ssLeft, 0, 0);
  w->tknob4MouseMove(w->tknobs[3], ssLeft, 0, 0);
  w->tknob5MouseMove(w->tknobs[4], ssLeft, 0, 0);
  w->tknob3MouseUp(w->tknobs[2], mbLeft, {}, 0, 0);
  w->tknob4MouseUp(w->tknobs[3], mbLeft, {}, 0, 0);
  w->tknob5MouseUp(w->tknobs[4], mbLeft, {}, 0, 0);
  EXPECT_EQ(Sent(),
            std::vector<QByteArray>({Bytes({0xC1, 100}), Bytes({0xC1, 100}), Bytes({0xB1, 1, 100}),
                                     Bytes({0xA1, 100, 0}), Bytes({0xD1, 100}), Bytes({0xB1, 1, 0}),
                                     Bytes({0xA1, 0, 0}), Bytes({0xD1, 0})}));
  for (int i = 2; i < 5; ++i) EXPECT_EQ(w->tknobs[i]->Position(), 0);
  EXPECT_EQ(w->tknobs[1]->Position(), 100);

  w->vel->SetPosition(100);
  w->velMouseUp(w->vel, mbLeft, {}, 0, 0);
  EXPECT_EQ(w->engine->Velocity(), 100);
}

TEST_F(KeysTest, WithoutAnOutputAPassingPointerRaisesNothingButADragDoes) {
  w->MidiOutput1->ClosePort();
  w->tknobs[2]->OnMouseMove(w->tknobs[2], {}, 5, 5);
  w->tknobs[2]->OnMouseMove(w->tknobs[2], {}, 6, 5);
  EXPECT_TRUE(dialogs.errors.isEmpty());
  w->tknobs[2]->OnMouseMove(w->tknobs[2], ssLeft, 7, 5);
  EXPECT_EQ(dialogs.errors.size(), 1);
  w->tknobs[2]->SetPosition(90);
  w->tknobs[2]->OnMouseUp(w->tknobs[2], mbLeft, {}, 7, 5);
  EXPECT_EQ(dialogs.errors.size(), 2);
  EXPECT_EQ(w->tknobs[2]->Position(), 0) << "back at rest although the send failed";
}

TEST_F(KeysTest, LosingTheKeyboardReleasesHeldNotesAndThePedal) {
  Page(w->TabSheet2, kNotes);
  const std::vector<QByteArray> released = {Bytes({0x80, 36, 0}), Bytes({0xB0, 64, 0})};
  auto hold = [&] {
    QTest::keyPress(w->windowHandle(), Qt::Key_Z);
    QTest::keyPress(w->windowHandle(), Qt::Key_Space);
    ASSERT_EQ(Sent().size(), 2u);
    backend.ClearSent();
  };
  hold();
  QWidget other;
  other.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  EXPECT_EQ(Sent(), released) << "deactivated";
  w->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
  QTest::keyRelease(w->windowHandle(), Qt::Key_Z);
  QTest::keyRelease(w->windowHandle(), Qt::Key_Space);
  EXPECT_EQ(Sent(), released) << "the late key-ups send nothing more";

  backend.ClearSent();
  hold();
  w->hide();
  EXPECT_EQ(Sent(), released) << "hidden";

  w->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
  backend.ClearSent();
  hold();
  w->PopupMenu1->popup(w->mapToGlobal(QPoint(10, 10)));
  EXPECT_EQ(Sent(), released) << "the pop-up menu has the keyboard";
  w->PopupMenu1->close();
}

TEST_F(KeysTest, LeavingNoteModeReleasesHeldNotes) {
  const std::vector<QByteArray> released = {Bytes({0x80, 36, 0})};
  Page(w->TabSheet2, kKnobs);
  QTest::keyPress(w->windowHandle(), Qt::Key_Z);
  backend.ClearSent();
  w->PageControl1->setCurrentWidget(w->TabSheet4);  // " knobs" elsewhere: no note mode
  EXPECT_EQ(Sent(), released);

  Page(w->TabSheet1, kNotes);
  QTest::keyPress(w->windowHandle(), Qt::Key_Z);
  backend.ClearSent();
  w->PageControl1->setCurrentWidget(w->TabSheet2);
  EXPECT_TRUE(Sent().empty()) << "still note mode";
  w->PageControl1->setCurrentWidget(w->TabSheet1);
  QTest::mouseClick(w->comkeymode->Item(0), Qt::LeftButton);
  ASSERT_EQ(w->comkeymode->ItemIndex(), 0);
  EXPECT_EQ(Sent(), released);
}

}  // namespace
