// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include "DragTweak.h"
#include "ErrorBox.h"
#include "FakeDialogs.h"
#include "LoopbackBackend.h"
#include "MidiOut.h"
#include "MouseUpButton.h"
#include "RadioGroup.h"
#include "SettingsStore.h"
#include "Unit1.h"
#include "WindowFixture.h"
#include "WindowTexts.h"
#include "knob.h"

namespace {

class WindowTest : public WindowFixture {
 protected:
  // Every value in the store file, as "section/name=value" in file order.
  QStringList StoredValues() const {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QStringList out;
    QString section;
    for (const QByteArray &line : f.readAll().split('\n')) {
      if (line.startsWith('['))
        section = QString::fromUtf8(line.mid(1, line.size() - 2));
      else if (!line.isEmpty())
        out << section + "/" + QString::fromUtf8(line);
    }
    return out;
  }
};

bool IsBold(QWidget *w) {
  return w->font().bold();
}

}  // namespace

TEST(ErrorBox, AppendsAFullStopOnlyAfterCharactersThatSortAfterIt) {
  EXPECT_EQ(ErrorBoxText("Invalid device ID"), "Invalid device ID.");
  EXPECT_EQ(ErrorBoxText("Done."), "Done.");
  EXPECT_EQ(ErrorBoxText("Done!"), "Done!");
  EXPECT_EQ(ErrorBoxText("(x)"), "(x)");
  EXPECT_EQ(ErrorBoxText("file 7"), "file 7.");
  EXPECT_EQ(ErrorBoxText(""), "");
}

TEST_F(WindowTest, HasEveryPageAndPanelWithItsNameInOrder) {
  auto w = Open();
  EXPECT_EQ(w->windowTitle(), "Kelvane");
  EXPECT_EQ(w->size(), QSize(529, 195));
  QStringList tabs;
  for (int i = 0; i < w->PageControl1->count(); ++i)
    tabs << w->PageControl1->widget(i)->objectName() + ":" + w->PageControl1->tabText(i);
  EXPECT_EQ(tabs, QStringList({"TabSheet1:Kelvane", "TabSheet2:Keyboard", "TabSheet4:SyeEX",
                               "TabSheet3:Setup", "TabSheet5:About"}));
  for (const char *name :
       {"kchannel", "channel",       "snapshotpanel", "schemepanel", "StatusBar1",  "kelvanepanel",
        "speed",    "keyboardpanel", "kbpanel",       "vel",         "velrnd",      "playmode",
        "interval", "tknob1",        "tknob5",        "Sendbtn",     "GetBtn",      "doneBTN",
        "midiout",  "midiin",        "knobsetup",     "knobbox",     "knobchannel", "Edit1",
        "ctrl",     "ctrlno",        "namecolor",     "fontbtn",     "showhint",    "pole",
        "Memo1",    "comkeymode",    "Button1",       "Button44"})
    EXPECT_NE(w->findChild<QObject *>(name), nullptr) << name;
  for (const char *name : {"engine", "MidiOutput1", "MidiInput1", "knoblist"})
    EXPECT_NE(w->findChild<QObject *>(name), nullptr) << name;
  EXPECT_EQ(w->knob[6]->objectName(), "knob7");
  EXPECT_EQ(w->knob[6]->pos(), QPoint(260, 15));
  EXPECT_EQ(w->knob[6]->size(), QSize(30, 30));
  EXPECT_EQ(w->speed->pos(), QPoint(474, 60));
  EXPECT_FALSE(w->doneBTN->isEnabled());
  EXPECT_EQ(w->Edit1->maxLength(), 6);
}

TEST_F(WindowTest, SnapshotCaptionsMapToTheirComponentNames) {
  auto w = Open();
  auto caption = [&](const char *name) { return w->findChild<QPushButton *>(name)->text(); };
  EXPECT_EQ(caption("Button1"), "1");
  EXPECT_EQ(caption("Button4"), "2");
  EXPECT_EQ(caption("Button32"), "14");
  EXPECT_EQ(caption("Button2"), "17");
  EXPECT_EQ(caption("Button25"), "32");
  EXPECT_EQ(caption("Button33"), "1");
  EXPECT_EQ(w->findChild<QPushButton *>("Button44")->property("Tag").toInt(), 12);
  for (QPushButton *b : w->snapshotpanel->findChildren<QPushButton *>())
    EXPECT_EQ(b->focusPolicy(), Qt::NoFocus);
}

TEST_F(WindowTest, ChannelListHas33EntriesAndTheIndexCounts) {
  auto w = Open();
  ASSERT_EQ(w->channel->count(), 33);
  EXPECT_EQ(w->channel->itemText(18), " ch 18");
  EXPECT_EQ(w->channel->itemText(17), " ch 18");
  EXPECT_EQ(w->knobchannel->count(), 33);
}

TEST_F(WindowTest, PopupMenuShowsOnlyItsVisibleItems) {
  auto w = Open();
  QStringList shown;
  for (QAction *a : w->PopupMenu1->actions()) shown << (a->isSeparator() ? "-" : a->text());
  EXPECT_EQ(shown, QStringList({"Panic!", "-", "All knobs go Max", "All knobs go Min", "-",
                                "MIDI monitor"}));
  EXPECT_EQ(w->findChild<QAction *>("ss102")->property("Tag").toInt(), 30);
  EXPECT_EQ(w->findChild<QAction *>("ss321")->shortcut(), QKeySequence("Ctrl+J"));
  EXPECT_EQ(w->findChild<QAction *>("ss141")->shortcut(), QKeySequence("Ctrl+Q"));
  EXPECT_EQ(w->findChild<QAction *>("s121")->shortcut(), QKeySequence("Ctrl+F12"));
}

TEST_F(WindowTest, ShortcutsOfHiddenItemsWorkOnEveryPage) {
  auto w = Open();
  w->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
  QSignalSpy snapshot13(w->findChild<QAction *>("ss131"), &QAction::triggered);
  QSignalSpy snapshot32(w->findChild<QAction *>("ss321"), &QAction::triggered);
  QSignalSpy scheme5(w->findChild<QAction *>("s51"), &QAction::triggered);
  QSignalSpy panic(w->Panic1, &QAction::triggered);
  for (int page : {0, 2, 3}) {
    w->PageControl1->setCurrentIndex(page);
    QTest::keyClick(w->windowHandle(), Qt::Key_Backslash, Qt::ControlModifier);
    QTest::keyClick(w->windowHandle(), Qt::Key_J, Qt::ControlModifier);
    QTest::keyClick(w->windowHandle(), Qt::Key_F5, Qt::ControlModifier);
    QTest::keyClick(w->windowHandle(), Qt::Key_Backspace, Qt::AltModifier);
  }
  EXPECT_EQ(snapshot13.count(), 3);
  EXPECT_EQ(snapshot32.count(), 3);
  EXPECT_EQ(scheme5.count(), 3);
  EXPECT_EQ(panic.count(), 3);
}

TEST_F(WindowTest, IsAnOrdinaryTopLevelWindowTitledKelvane) {
  auto w = Open();
  EXPECT_EQ(w->windowType(), Qt::Window);  // not a tool window, which has no taskbar entry
  EXPECT_FALSE(w->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(w->windowFlags() & Qt::WindowTitleHint);
  EXPECT_EQ(w->windowTitle(), "Kelvane");
}

TEST_F(WindowTest, TabWalksThroughTheKnobsOfThePageAndTheBoxesOfTheKeyboardPage) {
  auto w = Open();
  w->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
  auto walk = [&](QWidget *first, int steps) {
    first->setFocus(Qt::TabFocusReason);
    QStringList names{QApplication::focusWidget()->objectName()};
    for (int i = 1; i < steps; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      names << QApplication::focusWidget()->objectName();
    }
    return names;
  };
  w->PageControl1->setCurrentWidget(w->TabSheet1);
  QStringList knobPage;
  for (int k = 1; k <= 22; ++k) knobPage << QStringLiteral("knob%1").arg(k);
  EXPECT_EQ(walk(w->knob[0], 24), knobPage + QStringList({"speed", "knob1"}));
  w->PageControl1->setCurrentWidget(w->TabSheet2);
  EXPECT_EQ(walk(w->vel, 9), QStringList({"vel", "velrnd", "playmode", "interval", "tknob1",
                                          "tknob2", "tknob3", "tknob4", "tknob5"}));
}

TEST_F(WindowTest, FirstStartOnAnEmptyStore) {
  auto w = Open();
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("|").toStdString();
  EXPECT_EQ(w->PageControl1->currentWidget(), w->TabSheet3);
  EXPECT_EQ(w->midiout->currentIndex(), -1);
  ASSERT_EQ(w->midiout->count(), 4);
  EXPECT_EQ(w->midiout->itemText(3), kVirtualPortEntry) << "our own port, last";
  EXPECT_FALSE(w->MidiOutput1->IsOpen());
  for (int k = 1; k <= 22; ++k) {
    QLabel *label = w->knobLabel[k - 1];
    EXPECT_EQ(label->text(), "knob");
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::black));
    EXPECT_EQ(w->knob[k - 1]->Tag1(), 176);
    EXPECT_EQ(w->knob[k - 1]->Tag2(), k + 23);
    EXPECT_EQ(w->knob[k - 1]->Tag3(), 0);
    EXPECT_EQ(w->knob[k - 1]->Position(), 0);
    EXPECT_EQ(w->knob[k - 1]->Axis(), axVertical);
  }
  EXPECT_EQ(w->speed->Position(), 6);
  EXPECT_EQ(w->tknobs[0]->Position(), 0);
  EXPECT_EQ(w->pole->ItemIndex(), 1);
  EXPECT_TRUE(w->ShowHints());
  EXPECT_TRUE(w->showhint->isChecked());
  EXPECT_EQ(w->vel->Position(), 90);
  EXPECT_EQ(w->velrnd->Position(), 20);
  EXPECT_EQ(w->interval->Position(), 6);
  EXPECT_EQ(w->playmode->Position(), 10);
  EXPECT_EQ(w->knobbox->count(), 22);
  EXPECT_EQ(w->knobbox->itemText(21), " knob22");
  EXPECT_EQ(w->ctrlno->count(), 128);
  EXPECT_EQ(w->ctrlno->itemText(127), " #127");
  EXPECT_EQ(w->ctrl->currentIndex(), 1);
  for (QPushButton *b : w->snapshotpanel->findChildren<QPushButton *>()) EXPECT_FALSE(IsBold(b));
  for (QPushButton *b : w->schemepanel->findChildren<QPushButton *>()) EXPECT_FALSE(IsBold(b));
  EXPECT_FALSE(w->Memo1->toPlainText().isEmpty());
  EXPECT_TRUE(StoredValues().isEmpty()) << "start-up writes nothing";
}

TEST_F(WindowTest, ClosingWritesTheShutdownValuesAndNothingElse) {
  Open()->close();
  EXPECT_EQ(StoredValues(),
            QStringList({"kb/vel=90", "kb/velrnd=20", "kb/playmode=10", "kb/interval=6",
                         "setup/ch=0", "setup/comkeymode=0", "setup/out=-1", "setup/in=0",
                         "setup/inname=Loopback In 1"}));
}

TEST_F(WindowTest, AChosenOutputOpensAtTheNextStartWithoutTheSetupPage) {
  {
    auto w = Open();
    w->midiout->setCurrentIndex(2);
    w->midioutChange(w->midiout);
    EXPECT_TRUE(w->MidiOutput1->IsOpen());
  }
  SettingsStore store(file);
  EXPECT_EQ(store.ReadString("setup", "out", ""), "2");
  auto w = Open();
  EXPECT_EQ(w->PageControl1->currentWidget(), w->TabSheet1);
  EXPECT_EQ(w->midiout->currentIndex(), 2);
  EXPECT_TRUE(w->MidiOutput1->IsOpen());
  EXPECT_EQ(w->MidiOutput1->DeviceID(), 2);
}

TEST_F(WindowTest, StoredValuesAreReadWithTheStoresParser) {
  Store("setup", "speed", "0x1F");
  Store("SETUP", "Pole", "0");
  Store("Button3", "knob1", "5");
  Store("scheme4", "knobctrl1", "176");
  Store("knob", "knobname7", "Cutoff");
  Store("knob", "knobnamecolor7", "255");
  Store("knob", "knobctrlno7", "74");
  Store("setup", "ch", "18");
  Store("setup", "comkeymode", "1");
  Store("setup", "showhint", "0");
  auto w = Open();
  EXPECT_EQ(w->speed->Position(), 31);
  EXPECT_EQ(w->knob[0]->Axis(), axHorizontal);
  EXPECT_EQ(w->pole->ItemIndex(), 0);
  EXPECT_TRUE(IsBold(w->findChild<QPushButton *>("Button3")));
  EXPECT_FALSE(IsBold(w->findChild<QPushButton *>("Button4")));
  EXPECT_TRUE(IsBold(w->findChild<QPushButton *>("Button36")));
  EXPECT_EQ(w->knobLabel[6]->text(), "Cutoff");
  EXPECT_EQ(w->knobLabel[6]->palette().color(QPalette::WindowText), QColor(Qt::red));
  EXPECT_EQ(w->knob[6]->Tag2(), 74);
  EXPECT_EQ(w->channel->currentIndex(), 18);
  EXPECT_EQ(w->comkeymode->ItemIndex(), 1);
  EXPECT_FALSE(w->ShowHints());
  w.reset();
  Store("setup", "speed", "abc");
  EXPECT_EQ(Open()->speed->Position(), 6);
}

TEST_F(WindowTest, AMissingStoredDeviceIsReportedAndTheRestOfTheLoadStillRuns) {
  Store("setup", "out", "7");
  Store("setup", "in", "5");
  Store("knob", "knobname1", "Reso");
  Store("Button1", "knob1", "3");
  {
    auto w = Open();
    EXPECT_EQ(dialogs.errors, QStringList({"Invalid device ID.", "Invalid device ID."}));
    EXPECT_EQ(w->knobLabel[0]->text(), "Reso");
    EXPECT_TRUE(IsBold(w->snapshotButton[0]));
    EXPECT_EQ(w->knobbox->count(), 22);
    EXPECT_EQ(w->vel->Position(), 90);
  }
  SettingsStore store(file);
  EXPECT_EQ(store.ReadInteger("setup", "out", 0), 7) << "a vanished device keeps its number";
  EXPECT_EQ(store.ReadInteger("setup", "in", 0), 5);
  EXPECT_EQ(store.ReadString("knob", "knobname1", ""), "Reso");
}

TEST_F(WindowTest, NoInputDeviceAtAllIsNoErrorOnAFirstStart) {
  LoopbackBackend noInputs({"Out"}, {});
  {
    TForm1 w(noInputs, file);
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("|").toStdString();
  }
  TForm1 again(noInputs, file);
  EXPECT_TRUE(dialogs.errors.isEmpty()) << "the saved -1 means nothing was chosen";
  again.close();
  Store("setup", "in", "0");
  TForm1 stored(noInputs, file);
  EXPECT_EQ(dialogs.errors, QStringList({"Invalid device ID."}));
}

TEST_F(WindowTest, ADamagedStoreIsReportedOnceAndKelvaneStartsOnDefaults) {
  {
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[setup]\nspeed=9\nthis line is damage\n");
  }
  auto w = Open();
  ASSERT_EQ(dialogs.errors.size(), 1);
  EXPECT_TRUE(dialogs.errors[0].contains("could not be read")) << dialogs.errors[0].toStdString();
  EXPECT_EQ(w->speed->Position(), 6);
  w->close();
  EXPECT_TRUE(StoredValues().contains("setup/out=-1"));
  EXPECT_EQ(QDir(dir.path()).entryList({"kelvane.ini.damaged-*"}).size(), 1);
}

TEST_F(WindowTest, SetupPageHandlersWriteAtOnce) {
  auto w = Open();
  w->speed->SetPosition(12);
  w->speedMouseUp(w->speed, mbRight, {}, 0, 0);
  EXPECT_TRUE(StoredValues().contains("setup/speed=12"));

  w->pole->SetItemIndex(0);
  w->poleClick(w->pole);
  EXPECT_EQ(w->tknobs[2]->Axis(), axHorizontal);
  EXPECT_EQ(w->knob[21]->Axis(), axHorizontal);
  EXPECT_TRUE(StoredValues().contains("setup/pole=0"));

  w->showhint->setChecked(false);
  w->showhintClick(w->showhint);
  EXPECT_FALSE(w->ShowHints());
  EXPECT_TRUE(StoredValues().contains("setup/showhint=0"));
}

TEST_F(WindowTest, FontFaceReachesEveryKnobPageLabelAndIsStored) {
  auto w = Open();
  dialogs.fontFaces.push_back(QString());
  w->fontbtnClick(w->fontbtn);
  EXPECT_FALSE(StoredValues().join(",").contains("font"));

  dialogs.fontFaces.push_back("DejaVu Serif");
  w->fontbtnClick(w->fontbtn);
  EXPECT_EQ(w->font().family(), "DejaVu Serif");
  QLabel *speedLabel = w->kelvanepanel->findChild<QLabel *>("speedLabel");
  EXPECT_EQ(speedLabel->font().family(), "DejaVu Serif");
  EXPECT_TRUE(speedLabel->font().bold());
  EXPECT_EQ(w->knobLabel[3]->font().family(), "DejaVu Serif");
  EXPECT_TRUE(StoredValues().contains("setup/font=DejaVu Serif"));
  w.reset();
  EXPECT_EQ(Open()->knobLabel[0]->font().family(), "DejaVu Serif");
}

TEST_F(WindowTest, AnErrorInAHandlerShowsTheErrorBoxAndWhatItWroteIsKept) {
  auto w = Open();
  w->Guard([&] {
    w->Settings().WriteInteger("setup", "speed", 3);
    throw Exception("Specified error number is out of range");
  });
  EXPECT_EQ(dialogs.errors, QStringList({"Specified error number is out of range."}));
  EXPECT_TRUE(StoredValues().contains("setup/speed=3"));
}
