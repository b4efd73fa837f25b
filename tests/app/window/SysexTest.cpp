// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "FakeDialogs.h"
#include "LoopbackBackend.h"
#include "MidiIn.h"
#include "MidiOut.h"
#include "SettingsStore.h"
#include "SysExBytes.h"
#include "SysExLibrarian.h"
#include "Unit1.h"

namespace {

// A window over the loopback service: output device 0 open, input device 0 open (the first
// start's choice), the SysEx page's dialogs answered by the test.
class SysexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    w = std::make_unique<TForm1>(backend, dir.filePath("kelvane.ini"));
    w->midiout->setCurrentIndex(0);
    w->midioutChange(w->midiout);
    ASSERT_TRUE(w->MidiInput1->IsOpen());
  }

  QString Path(const QString &name) const { return dir.filePath(name); }
  QString WriteFile(const QString &name, const QByteArray &bytes) const {
    QFile f(Path(name));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return Path(name);
  }
  static QByteArray ReadFile(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(no file)");
  }
  void Receive(const QString &name) {
    dialogs.fileNames.push_back(Path(name));
    w->GetBtn->click();
  }
  // Delivers `bytes` to input device 0 and waits until the window counted `total` bytes.
  void Arrive(const QByteArray &bytes, int total) {
    ASSERT_TRUE(backend.Inject(in, bytes));
    const QString status = QStringLiteral("   %1  bytes received").arg(total);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->StatusText() == status; }))
        << w->StatusText().toStdString();
  }
  bool Receiving() const {
    return !w->Sendbtn->isEnabled() && !w->GetBtn->isEnabled() && w->doneBTN->isEnabled();
  }
  // Sends `file` from the page with the librarian's pause (ms) and wire speed.
  void StartSending(const QByteArray &file, int pauseMs, bool wireSpeed) {
    w->librarian_->pausebox->setEditText(QString::number(pauseMs));
    w->librarian_->wirespeed->setChecked(wireSpeed);
    dialogs.fileNames.push_back(WriteFile("bank.syx", file));
    w->Sendbtn->click();
  }
  // After Panic, once the file would have gone on (its pauses and waits are shorter than
  // `settleMs`): the start of `file` left, a message cut short ended with F7, then the 16 All
  // Sound Off, and nothing after them.
  void ExpectNothingOfTheFileAfterTheAllSoundOff(const QByteArray &file, int settleMs) {
    QByteArray allSoundOff;
    for (int channel = 0; channel < 16; ++channel)
      allSoundOff.append(char(0xB0 + channel)).append(char(120)).append(char(0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return backend.SentBytes(out).endsWith(allSoundOff); }));
    QTest::qWait(settleMs);
    const QByteArray sent = backend.SentBytes(out);
    ASSERT_TRUE(sent.endsWith(allSoundOff)) << "something followed the All Sound Off";
    const QByteArray ofTheFile = sent.chopped(allSoundOff.size());
    const bool cutShort = !file.startsWith(ofTheFile);
    if (cutShort) {
      EXPECT_TRUE(ofTheFile.endsWith(char(0xF7)));
    }
    EXPECT_TRUE(file.startsWith(cutShort ? ofTheFile.chopped(1) : ofTheFile));
    EXPECT_EQ(w->StatusText(), "Panic!: the SysEx transfer was cancelled");
  }
  void ExpectFileCancelled() const {
    EXPECT_TRUE(w->librarian_->sysexinfo->text().startsWith("cancelled after"))
        << w->librarian_->sysexinfo->text().toStdString();
    EXPECT_TRUE(w->Sendbtn->isEnabled());
  }

  const QString out = QStringLiteral("Loopback Out 1"), in = QStringLiteral("Loopback In 1");
  QTemporaryDir dir;
  FakeDialogs dialogs;
  LoopbackBackend backend;
  std::unique_ptr<TForm1> w;
};

TEST_F(SysexTest, AFileLeavesUnchangedOneMessageABlock) {
  const QByteArray file = SysExOfLength(10, 1) + SysExOfLength(300, 2) + SysExOfLength(7, 3);
  dialogs.fileNames.push_back(WriteFile("three.syx", file));
  w->Sendbtn->click();
  EXPECT_FALSE(w->Sendbtn->isEnabled()) << "one transfer at a time";
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->Sendbtn->isEnabled(); }));
  EXPECT_EQ(backend.SentBytes(out), file);
  EXPECT_EQ(backend.Sent(out).size(), 3u);
  EXPECT_EQ(dialogs.titles, QStringList({"select the sysex file to send"}));
  EXPECT_TRUE(dialogs.errors.isEmpty());
  EXPECT_TRUE(dialogs.confirms.isEmpty()) << "a sound file asks nothing";

  backend.ClearSent();
  dialogs.fileNames.push_back(WriteFile("empty.syx", {}));
  w->Sendbtn->click();
  dialogs.fileNames.push_back(QString());  // cancelled
  w->Sendbtn->click();
  QTest::qWait(20);
  EXPECT_TRUE(backend.Sent(out).empty());
  EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(SysexTest, PanicInAPauseEndsTheTransferAndNothingOfItFollows) {
  QByteArray file;
  for (int i = 0; i < 10; ++i) file += SysExOfLength(20, i);
  StartSending(file, 100, false);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return w->librarian_->sysexinfo->text().startsWith("1 of 10 messages"); }));
  w->Panic1->trigger();  // the first message has left: the transfer rests in its pause
  ExpectNothingOfTheFileAfterTheAllSoundOff(file, 300);
  ExpectFileCancelled();
}

TEST_F(SysexTest, PanicWhileWireSpeedHoldsTheNextMessageBackEndsTheTransfer) {
  QByteArray file;
  for (int i = 0; i < 4; ++i) file += SysExOfLength(1000, i);  // 320 ms each on a cable
  StartSending(file, 0, true);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return w->librarian_->sysexinfo->text().startsWith("1 of 4 messages"); }));
  w->Panic1->trigger();  // the first message has left; the cable would still be carrying it
  ExpectNothingOfTheFileAfterTheAllSoundOff(file, 700);
  ExpectFileCancelled();
}

TEST_F(SysexTest, PanicStopsADumpRequestAndAChangeOfOutputStopsAFile) {
  backend.SetPacing({64, std::chrono::milliseconds(5)});
  const QByteArray request = SysExOfLength(6000, 7);
  w->librarian_->requeston->setChecked(true);
  w->librarian_->requestedit->setText(WriteFile("request.syx", request));
  Receive("dump");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !backend.SentBytes(out).isEmpty(); }));
  w->Panic1->trigger();
  ExpectNothingOfTheFileAfterTheAllSoundOff(request, 300);
  EXPECT_TRUE(Receiving()) << "the recording goes on";
  w->doneBTN->click();

  // Another output device chosen in a pause: the file stops there, on both devices.
  backend.SetPacing({});
  backend.ClearSent();
  QByteArray file;
  for (int i = 0; i < 10; ++i) file += SysExOfLength(20, i);
  StartSending(file, 100, false);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return w->librarian_->sysexinfo->text().startsWith("1 of 10 messages"); }));
  w->midiout->setCurrentIndex(1);
  w->midioutChange(w->midiout);
  ExpectFileCancelled();
  const QByteArray beforeTheChange = backend.SentBytes(out);
  QTest::qWait(300);
  EXPECT_EQ(backend.SentBytes(out), beforeTheChange);
  EXPECT_TRUE(file.startsWith(beforeTheChange));
  EXPECT_TRUE(backend.SentBytes("Loopback Out 2").isEmpty());
}

TEST_F(SysexTest, AFileThatCannotBeReadOrIsAbsurdlyLargeSendsNothing) {
  dialogs.fileNames.push_back(Path("missing.syx"));
  w->Sendbtn->click();
  EXPECT_EQ(dialogs.errors, QStringList({"Cannot open file " +
                                         QDir::toNativeSeparators(Path("missing.syx")) + "."}));
  {
    QFile huge(WriteFile("huge.syx", "\xF0"));
    ASSERT_TRUE(huge.resize((qint64(64) << 20) + 1));  // sparse: costs no disk
  }
  dialogs.fileNames.push_back(Path("huge.syx"));
  w->Sendbtn->click();
  ASSERT_EQ(dialogs.errors.size(), 2);
  EXPECT_TRUE(dialogs.errors[1].contains("too large")) << dialogs.errors[1].toStdString();
  QTest::qWait(20);
  EXPECT_TRUE(backend.Sent(out).empty());
}

TEST_F(SysexTest, ReceivingWithoutAnInputAsksNothingElse) {
  w->midiin->setCurrentIndex(-1);
  w->GetBtn->click();
  EXPECT_EQ(dialogs.informs, QStringList({"No MIDI input available"}));
  EXPECT_TRUE(dialogs.titles.isEmpty());
  EXPECT_FALSE(w->doneBTN->isEnabled());
}

TEST_F(SysexTest, ADumpIsSavedByteExactUnderItsSyxName) {
  w->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
  Receive("patch");
  EXPECT_EQ(dialogs.titles, QStringList({"enter the file name for sysex data"}));
  EXPECT_TRUE(Receiving());
  EXPECT_EQ(w->focusWidget(), w->doneBTN);
  EXPECT_EQ(w->StatusText(), "0 bytes received, start sysex dump from your midi device");
  // A message longer than one input buffer (5120 bytes) comes in several blocks.
  const QByteArray m1 = SysExOfLength(266, 1), m2 = SysExOfLength(12000, 2);
  Arrive(m1, 266);
  Arrive(m2, 266 + 12000);
  backend.Inject(in, QByteArray("\x90\x3C\x40", 3));  // short messages never reach the window
  w->doneBTN->click();
  EXPECT_EQ(ReadFile(Path("patch.syx")), m1 + m2);
  EXPECT_FALSE(Receiving());
  EXPECT_TRUE(w->Sendbtn->isEnabled());

  for (const char *typed : {"patch.syx", "patch.SYX"}) {
    Receive(typed);
    Arrive(SysExOfLength(100, 3), 100);
    Arrive(SysExOfLength(100, 4), 200);
    w->doneBTN->click();
  }
  EXPECT_EQ(ReadFile(Path("patch.syx")), SysExOfLength(100, 3) + SysExOfLength(100, 4));
  EXPECT_EQ(ReadFile(Path("patch.SYX.syx")).size(), 200);
  EXPECT_FALSE(QFile::exists(Path("patch.SYX")));
}

TEST_F(SysexTest, DoneBeforeAnyDataWritesNoFile) {
  Receive("nothing");
  w->doneBTN->click();
  EXPECT_FALSE(QFile::exists(Path("nothing.syx")));
  EXPECT_FALSE(Receiving());
  EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(SysexTest, AFailedWriteKeepsTheBytesAndTheReceivingState) {
  Receive("later/dump");
  const QByteArray m = SysExOfLength(50, 5);
  Arrive(m, 50);
  w->doneBTN->click();
  ASSERT_EQ(dialogs.errors.size(), 1);
  EXPECT_EQ(dialogs.errors[0],
            "Cannot create file " + QDir::toNativeSeparators(Path("later/dump.syx")) + ".");
  EXPECT_TRUE(Receiving());
  EXPECT_TRUE(QDir(dir.path()).mkdir("later"));
  w->doneBTN->click();
  EXPECT_EQ(ReadFile(Path("later/dump.syx")), m);
  EXPECT_FALSE(Receiving());
}

TEST_F(SysexTest, WhatArrivesBetweenDumpsGoesIntoTheNextOne) {
  const QByteArray a = SysExOfLength(20, 1), between = SysExOfLength(30, 2),
                   b = SysExOfLength(40, 3);
  Receive("first");
  Arrive(a, 20);
  w->doneBTN->click();
  Arrive(between, 30);  // the port stays started after done
  Receive("second");
  Arrive(b, 70);
  w->doneBTN->click();
  EXPECT_EQ(ReadFile(Path("first.syx")), a);
  EXPECT_EQ(ReadFile(Path("second.syx")), between + b);
}

TEST_F(SysexTest, LostInputIsReportedAndTheFileCalledIncomplete) {
  Receive("burst");
  // Far more messages than the port has buffers, before the window can read any.
  const QByteArray m = SysExOfLength(10, 6);
  for (int i = 0; i < 600; ++i) ASSERT_TRUE(backend.Inject(in, m));
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->StatusText().endsWith(", some data lost"); }));
  w->doneBTN->click();
  ASSERT_EQ(dialogs.errors.size(), 1);
  EXPECT_TRUE(dialogs.errors[0].contains("burst.syx is incomplete"))
      << dialogs.errors[0].toStdString();
  EXPECT_FALSE(Receiving());
  const QByteArray saved = ReadFile(Path("burst.syx"));
  EXPECT_GT(saved.size(), 0);
  EXPECT_LT(saved.size(), 6000);
  EXPECT_EQ(saved.size() % 10, 0) << "only whole messages were kept";
}

// An overrun of the service while a file goes out, or while a dump is recorded, is told at the
// end: the synth may have missed data, the dump may be missing some.
TEST_F(SysexTest, AnOverrunDuringASendOrARecordingEndsWithAWarning) {
  w->findChild<QComboBox *>("pausebox")->setEditText("100");  // time to overrun in between
  const QByteArray file = SysExOfLength(10, 1) + SysExOfLength(10, 2);
  dialogs.fileNames.push_back(WriteFile("two.syx", file));
  w->Sendbtn->click();
  backend.SimulateOverrun();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->Sendbtn->isEnabled(); }));
  EXPECT_EQ(backend.SentBytes(out), file);
  EXPECT_EQ(dialogs.errors, QStringList{SendOverrunWarning(1) + "."});

  Receive("dump");
  Arrive(SysExOfLength(10, 3), 10);
  backend.SimulateOverrun();
  backend.SimulateOverrun();
  w->doneBTN->click();
  ASSERT_EQ(dialogs.informs.size(), 1);
  EXPECT_TRUE(dialogs.informs[0].endsWith(ReceiveOverrunWarning(2)))
      << dialogs.informs[0].toStdString();

  Receive("quiet");  // no overrun this time: no word of one
  Arrive(SysExOfLength(10, 4), 10);
  w->doneBTN->click();
  EXPECT_EQ(dialogs.informs.size(), 1);
  EXPECT_EQ(dialogs.errors.size(), 1);
}

// A hardware port's pacing is said on the page; "fast" lifts it for that device only, and the
// choice is kept in the settings.
TEST_F(SysexTest, AHardwarePortsPacingIsShownAndTheFastBoxLiftsItForThatDevice) {
  backend.SetHardware(out);
  auto *fast = w->findChild<QCheckBox *>("fastport");
  auto *info = w->findChild<QLabel *>("sysexinfo");
  EXPECT_EQ(w->MidiOutput1->WirePacing(), MidiOutPacing::HardwareWire);
  dialogs.fileNames.push_back(WriteFile("one.syx", SysExOfLength(10, 1)));
  w->Sendbtn->click();
  EXPECT_TRUE(info->text().contains("(hardware port: MIDI wire speed)"))
      << info->text().toStdString();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->Sendbtn->isEnabled(); }));

  fast->click();
  EXPECT_EQ(w->MidiOutput1->WirePacing(), MidiOutPacing::HardwareLifted);
  EXPECT_EQ(w->Settings().ReadString("setup", "sysexfastports", ""), out);
  w->midiout->setCurrentIndex(1);  // another device: paced as its port says, box follows
  w->midioutChange(w->midiout);
  EXPECT_FALSE(fast->isChecked());
  w->midiout->setCurrentIndex(0);
  w->midioutChange(w->midiout);
  EXPECT_TRUE(fast->isChecked());
  EXPECT_EQ(w->MidiOutput1->WirePacing(), MidiOutPacing::HardwareLifted);
}

}  // namespace
