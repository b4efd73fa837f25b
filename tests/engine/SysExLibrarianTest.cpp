// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The librarian's parts without a window: the file check, the paced sender over a real output
// port (loopback service) and the recorder's quiet stop.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>

#include "LoopbackBackend.h"
#include "MIDIappUtil.h"
#include "MidiOut.h"
#include "SysExBytes.h"
#include "SysExCheck.h"
#include "SysExRecorder.h"
#include "SysExSender.h"

namespace {

QByteArray Hex(const char *text) {
  return *ParseHexBytes(QString::fromLatin1(text));
}

// Data-set messages as the two synthesizers send them: a one-byte and a two-byte model number.
const char *const kGoodDataSet = "F0 41 10 6A 12 01 00 00 00 05 7A F7";
const char *const kGoodTwoByteModel = "F0 41 10 00 0B 12 10 00 00 00 40 70 7F 41 F7";

TEST(SysExCheck, RunsCoverEveryByteAndTellMessagesFromFaults) {
  const QByteArray file = Hex("F0 01 F7  05 06  F0 02 03  F0 04 F7  F0 09");
  const std::vector<SysExRun> runs = SplitSysEx(file);
  ASSERT_EQ(runs.size(), 5u);
  EXPECT_EQ(runs[0].kind, SysExRun::Message);
  EXPECT_EQ(runs[1].kind, SysExRun::Stray);
  EXPECT_EQ(runs[2].kind, SysExRun::Unterminated);  // cut off by the next F0
  EXPECT_EQ(runs[3].kind, SysExRun::Message);
  EXPECT_EQ(runs[4].kind, SysExRun::Unterminated);  // cut off by the end
  QByteArray joined;
  for (const SysExRun &run : runs) joined += file.mid(run.offset, run.length);
  EXPECT_EQ(joined, file) << "sending the runs in order sends the file unchanged";

  const SysExCheck check = CheckSysEx(file);
  EXPECT_EQ(check.messages, 4);
  EXPECT_EQ(check.unterminated, 2);
  EXPECT_EQ(check.strayRuns, 1);
  EXPECT_FALSE(check.Clean());
  EXPECT_TRUE(check.Summary().startsWith("4 messages, 13 bytes; 2 without F7, 1 runs of bytes"))
      << check.Summary().toStdString();
  // A status byte inside a message ends it there, without F7.
  EXPECT_EQ(CheckSysEx(Hex("F0 01 90 3C 40 F7")).unterminated, 1);
  EXPECT_TRUE(CheckSysEx({}).Clean());
}

TEST(SysExCheck, RolandDataSetChecksumsOfBothModelNumberWidths) {
  EXPECT_EQ(WrongDataSetChecksum(Hex(kGoodDataSet)), std::nullopt);
  EXPECT_EQ(WrongDataSetChecksum(Hex(kGoodTwoByteModel)), std::nullopt);
  EXPECT_EQ(WrongDataSetChecksum(Hex("F0 41 10 6A 12 01 00 00 00 05 77 F7")), uint8_t(0x7A));
  EXPECT_EQ(WrongDataSetChecksum(Hex("F0 41 10 00 0B 12 10 00 00 00 40 70 7F 42 F7")),
            uint8_t(0x41));
  // A sum that is a multiple of 128 has checksum 0, not 128.
  EXPECT_EQ(WrongDataSetChecksum(Hex("F0 41 10 6A 12 40 40 00 00 00 F7")), std::nullopt);
  // Not a data set, or not Roland's: nothing to check.
  EXPECT_EQ(WrongDataSetChecksum(Hex("F0 41 10 6A 11 01 00 00 00 00 00 00 01 00 F7")),
            std::nullopt);
  EXPECT_EQ(WrongDataSetChecksum(Hex("F0 43 10 6A 12 01 00 00 00 05 00 F7")), std::nullopt);
  EXPECT_EQ(WrongDataSetChecksum(Hex("F0 41 10 6A 12 01 F7")), std::nullopt);

  const QByteArray file = Hex(kGoodDataSet) + Hex("F0 41 10 6A 12 01 00 00 00 05 00 F7");
  const SysExCheck check = CheckSysEx(file);
  EXPECT_EQ(check.badChecksums, 1);
  ASSERT_EQ(check.faults.size(), 1);
  EXPECT_EQ(check.faults[0], "message 2 (at byte 12): checksum 00, should be 7A");
}

TEST(SysExCheck, HexBytesAsUsersTypeThem) {
  EXPECT_EQ(ParseHexBytes("F0 41 10 f7"), Hex("F04110F7"));
  EXPECT_EQ(ParseHexBytes("f0,41,\t10,F7"), Hex("F04110F7"));
  EXPECT_EQ(ParseHexBytes("F0 4"), std::nullopt);
  EXPECT_EQ(ParseHexBytes("/home/me/request.syx"), std::nullopt);
  EXPECT_EQ(ParseHexBytes("  "), std::nullopt);
}

// A sender on output device 0 of the loopback service; the port's reports go to the sender,
// and every block's hand-over is timed.
class SenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    output.SetDeviceID(0);
    ASSERT_TRUE(output.OpenPort());
    output.Onmidioutput = [this](QObject *) {
      if (!sender.BlockEnded(output.LastError())) ++foreignReports;
    };
    output.OnSent = [this](const uint8_t *bytes, size_t length) {
      handedOver.push_back(
          {clock.elapsed(), QByteArray(reinterpret_cast<const char *>(bytes), qsizetype(length))});
    };
    sender.OnFinished = [this](TSysExSender::Outcome how, const QString &why) {
      outcomes.push_back(how);
      error = why;
    };
    clock.start();
  }
  bool WaitFinished(int ms = 10000) {
    return QTest::qWaitFor([&] { return !outcomes.empty(); }, ms);
  }

  struct Block {
    qint64 atMs;
    QByteArray bytes;
  };
  LoopbackBackend backend;
  TMidiOutput output{backend};
  TSysExSender sender{output};
  QElapsedTimer clock;
  std::vector<Block> handedOver;
  std::vector<TSysExSender::Outcome> outcomes;
  QString error;
  int foreignReports = 0;
  const QString device = QStringLiteral("Loopback Out 1");
};

TEST_F(SenderTest, MessagesLeaveOneByOneWithThePauseBetweenThemAndTheFileUnchanged) {
  QByteArray file;
  for (int i = 0; i < 5; ++i) file += SysExOfLength(40, i);
  file += SysExOfLength(10000, 9);  // a long one goes whole too
  sender.Start(file, {60, false});
  ASSERT_TRUE(WaitFinished());
  EXPECT_EQ(outcomes, std::vector{TSysExSender::Outcome::Sent});
  EXPECT_EQ(backend.SentBytes(device), file);
  ASSERT_EQ(handedOver.size(), 6u);
  for (size_t i = 1; i < 6; ++i)
    EXPECT_GE(handedOver[i].atMs - handedOver[i - 1].atMs, 60) << "before message " << i + 1;
  const TSysExSender::Progress done = sender.CurrentProgress();
  EXPECT_EQ(done.messagesSent, 6);
  EXPECT_EQ(done.bytesSent, file.size());
  EXPECT_EQ(foreignReports, 0);
}

TEST_F(SenderTest, WireSpeedHoldsTheRateOfAMidiCable) {
  QByteArray file;
  for (int i = 0; i < 4; ++i) file += SysExOfLength(250, i);  // 80 ms each on a cable
  sender.Start(file, {0, true});
  ASSERT_TRUE(WaitFinished());
  EXPECT_EQ(backend.SentBytes(device), file);
  ASSERT_EQ(handedOver.size(), 4u);
  // A message may leave only when the cable would have carried all before it.
  EXPECT_GE(handedOver.back().atMs - handedOver.front().atMs,
            3 * 250 * 1000 / kMidiWireBytesPerSecond);
}

TEST_F(SenderTest, CancelSendsNothingMoreAndPanicStopsTheTransferBeforeItsAllSoundOff) {
  QByteArray file;
  for (int i = 0; i < 10; ++i) file += SysExOfLength(20, i);
  sender.Start(file, {50, false});
  ASSERT_TRUE(QTest::qWaitFor([&] { return handedOver.size() == 2; }));
  EXPECT_TRUE(sender.Cancel());
  EXPECT_EQ(outcomes, std::vector{TSysExSender::Outcome::Cancelled});
  QTest::qWait(150);
  EXPECT_EQ(handedOver.size(), 2u);
  EXPECT_FALSE(sender.Busy());
  EXPECT_FALSE(sender.Cancel()) << "nothing left to cancel";

  // The engine's Panic tells the sender first, as the window has it: the blocks in flight go,
  // the message on the wire ends with F7, and the All Sound Off messages are the last bytes.
  outcomes.clear();
  backend.ClearSent();
  backend.SetPacing({64, std::chrono::milliseconds(5)});  // a slow service: blocks stay in flight
  QByteArray dump;
  for (int i = 0; i < 8; ++i) dump += SysExOfLength(4000, i);
  sender.Start(dump, {0, false});
  ASSERT_TRUE(QTest::qWaitFor([&] { return !backend.SentBytes(device).isEmpty(); }));
  TMIDIappUtil engine;
  engine.SetOUTPUT(&output);
  engine.OnPanic = [&](QObject *) { sender.Cancel(); };
  engine.Panic();
  EXPECT_EQ(outcomes, std::vector{TSysExSender::Outcome::Cancelled});
  ASSERT_TRUE(QTest::qWaitFor([&] { return backend.SentBytes(device).endsWith(Hex("BF 78 00")); }));
  QTest::qWait(100);
  const QByteArray sent = backend.SentBytes(device);
  EXPECT_EQ(sent.right(3), Hex("BF 78 00")) << "All Sound Off is the last thing sent";
  const QByteArray ofTheDump = sent.chopped(16 * 3);
  EXPECT_TRUE(ofTheDump.endsWith(char(0xF7)));
  EXPECT_TRUE(dump.startsWith(ofTheDump.chopped(1))) << "only the start of the dump left";
}

TEST_F(SenderTest, ATransferStartedWhileCancelledBlocksAreStillInFlightTakesOnlyItsOwnReports) {
  backend.SetPacing({64, std::chrono::milliseconds(5)});
  QByteArray dump;
  for (int i = 0; i < 4; ++i) dump += SysExOfLength(2000, i);
  sender.Start(dump, {0, false});
  ASSERT_TRUE(QTest::qWaitFor([&] { return !backend.SentBytes(device).isEmpty(); }));
  backend.ClearSent();
  // Started at once: the cancelled blocks end after this, and report nothing.
  const QByteArray file = SysExOfLength(30, 1) + SysExOfLength(30, 2);
  sender.Start(file, {0, false});
  ASSERT_TRUE(QTest::qWaitFor([&] { return outcomes.size() == 2; }, 10000));
  EXPECT_EQ(outcomes, (std::vector{TSysExSender::Outcome::Cancelled, TSysExSender::Outcome::Sent}));
  EXPECT_TRUE(backend.SentBytes(device).endsWith(file));
  EXPECT_EQ(sender.CurrentProgress().messagesSent, 2);
  EXPECT_EQ(foreignReports, 0);
}

TEST_F(SenderTest, AClosedPortFailsTheTransferWithTheReason) {
  output.ClosePort();
  sender.Start(SysExOfLength(20, 1), {});
  ASSERT_EQ(outcomes, std::vector{TSysExSender::Outcome::Failed});
  EXPECT_FALSE(error.isEmpty());
  // An empty file has nothing to send: it is done at once.
  outcomes.clear();
  sender.Start({}, {});
  EXPECT_EQ(outcomes, std::vector{TSysExSender::Outcome::Sent});
}

TEST(SysExRecorder, CountsMessagesAndStopsAfterTheQuietTimeOnceSomethingCame) {
  TSysExRecorder recorder;
  int quiet = 0;
  recorder.OnQuiet = [&] { ++quiet; };
  recorder.Start(100);
  QTest::qWait(200);
  EXPECT_EQ(quiet, 0) << "nothing has arrived yet: no quiet stop";
  QByteArray dump = SysExOfLength(30, 1);
  recorder.Grew(dump);
  dump += SysExOfLength(30, 2).left(10);  // half a message so far
  recorder.Grew(dump);
  EXPECT_EQ(recorder.Messages(), 1);
  EXPECT_EQ(recorder.Bytes(), 40);
  EXPECT_EQ(quiet, 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return quiet == 1; }, 2000));
  recorder.Stop();
  recorder.Grew(dump + SysExOfLength(30, 2).mid(10));
  EXPECT_EQ(recorder.Messages(), 2);
  QTest::qWait(200);
  EXPECT_EQ(quiet, 1) << "a stopped recording never fires";
  recorder.Grew({});  // the owner saved and emptied its buffer
  EXPECT_EQ(recorder.Messages(), 0);
}

}  // namespace
