// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include "Dialogs.h"
#include "EngineTestSupport.h"
#include "LoopbackBackend.h"
#include "MidiIn.h"
#include "RandomDraw.h"

namespace {

// The generator, replayed from its current seed, foretells every velocity.
struct NextDraws {
  uint32_t seed = RandomSeed();
  uint32_t Draw(uint32_t n) {
    seed = seed * 134775813u + 1u;
    return uint32_t((uint64_t(seed) * n) >> 32);
  }
};

TEST(RandomVelocity, StaysWithinItsBounds) {
  TMIDIappUtil engine;
  engine.SetVelocity(127);
  engine.SetVelRnd(20);
  int downward = 0;
  for (int i = 0; i < 200; ++i) {
    NextDraws next;
    const bool odd = next.Draw(20) % 2 == 1;
    const int offset = int(next.Draw(20));
    const int v = engine.RandomVelocity();
    if (odd) {
      ++downward;
      EXPECT_EQ(v, 127 - offset);
      EXPECT_GE(v, 108);
    } else {
      EXPECT_EQ(v, 127);
    }
  }
  EXPECT_GT(downward, 0);

  engine.SetVelocity(5);
  int floored = 0;
  for (int i = 0; i < 200; ++i) {
    NextDraws next;
    const bool odd = next.Draw(20) % 2 == 1;
    const int offset = int(next.Draw(20));
    const int v = engine.RandomVelocity();
    if (odd && offset >= 5) {
      ++floored;
      EXPECT_EQ(v, 1);
    } else {
      EXPECT_EQ(v, odd ? 5 - offset : 5 + offset);
    }
  }
  EXPECT_GT(floored, 0);
}

TEST(RandomVelocity, SpreadOfZeroOrOneGivesExactlyVelocity) {
  TMIDIappUtil engine;
  for (int spread : {0, 1, -3}) {
    engine.SetVelRnd(spread);
    for (int velocity : {0, 64, 127}) {
      engine.SetVelocity(velocity);
      for (int i = 0; i < 20; ++i) EXPECT_EQ(engine.RandomVelocity(), velocity);
    }
  }
}

TEST(RandomVelocity, EveryNoteOfAChordDrawsAnew) {
  TMIDIappUtil engine;
  engine.SetVelocity(64);
  engine.SetVelRnd(48);
  NextDraws next;
  std::vector<int> expected;
  for (int i = 0; i < 5; ++i) {
    const bool odd = next.Draw(48) % 2 == 1;
    const int offset = int(next.Draw(48));
    expected.push_back(std::clamp(odd ? 64 - offset : 64 + offset, 1, 127));
  }
  LoopbackBackend backend;
  TMidiOutput output(backend);
  ASSERT_TRUE(output.OpenPort());
  backend.ClearSent();
  engine.SetOUTPUT(&output);
  engine.SetPlaymode(pmMajor9th);
  engine.PlayKey(0);
  const Messages sent = backend.Sent(QStringLiteral("Loopback Out 1"));
  ASSERT_EQ(sent.size(), 5u);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(uint8_t(sent[i][2]), expected[i]) << i;
}

using Sending = EngineTest;

TEST_F(Sending, PanicSilencesEveryChannelInOrder) {
  engine.Panic();
  QByteArray expected;
  for (int channel = 0; channel < 16; ++channel) expected += Msg(0xB0 + channel, 0x78, 0);
  EXPECT_EQ(backend.SentBytes(QStringLiteral("Loopback Out 1")), expected);
}

TEST_F(Sending, SendShortPassesMessagesAndKeepsDataBytesBelow128) {
  engine.SendShort(0xB3, 7, 100);
  engine.SendShort(0xE0, 200, 255);
  engine.SendShort(0x40, 1, 2);  // not a status byte
  engine.SendShort(0xF0, 1, 2);  // would open a SysEx message
  EXPECT_EQ(TakeSent(), (Messages{Msg(0xB3, 7, 100), Msg(0xE0, 127, 127)}));
}

TEST_F(Sending, SendSysexSendsTheBlockAndPausesWhenAsked) {
  // The port sends SysEx from its own thread and reports each block done on this one.
  int done = 0;
  output.Onmidioutput = [&done](QObject *) { ++done; };
  const QByteArray block = QByteArray::fromHex("f041100042120040007f0041f7");
  engine.SendSysex(block);
  ASSERT_TRUE(QTest::qWaitFor([&done] { return done == 1; }));
  EXPECT_EQ(TakeSent(), Messages{block});

  engine.SetPause(true);
  QElapsedTimer timer;
  timer.start();
  engine.SendSysex(block);
  EXPECT_GE(timer.elapsed(), 55);
  ASSERT_TRUE(QTest::qWaitFor([&done] { return done == 2; }));
}

TEST(DeviceLists, NameEveryDeviceInNumberOrder) {
  LoopbackBackend backend;
  TMidiOutput output(backend);
  TMidiInput input(backend);
  TMIDIappUtil engine;
  engine.SetOUTPUT(&output);
  engine.SetINPUT(&input);
  QStringList list{"stale"};
  engine.ListOutputs(list);
  EXPECT_EQ(list, (QStringList{"Loopback Out 1", "Loopback Out 2", "Loopback Out 3"}));
  engine.ListInputs(list);
  EXPECT_EQ(list, (QStringList{"Loopback In 1", "Loopback In 2"}));
  EXPECT_EQ(output.DeviceID(), 0) << "listing chooses no device";
}

TEST(DeviceLists, NoDevicesGiveAnEmptyList) {
  LoopbackBackend backend({}, {});
  TMidiOutput output(backend);
  TMidiInput input(backend);
  TMIDIappUtil engine;
  engine.SetOUTPUT(&output);
  engine.SetINPUT(&input);
  QStringList list{"stale"};
  engine.ListOutputs(list);
  EXPECT_TRUE(list.isEmpty());
  EXPECT_EQ(output.DeviceID(), 0);
  list = QStringList{"stale"};
  engine.ListInputs(list);
  EXPECT_TRUE(list.isEmpty());
}

// The lists follow devices that come and go while the ports are open on theirs.
TEST(DeviceLists, AreReadAfreshWhileThePortIsOpen) {
  LoopbackBackend backend;
  TMidiOutput output(backend);
  output.SetDeviceID(1);
  ASSERT_TRUE(output.OpenPort());
  TMIDIappUtil engine;
  engine.SetOUTPUT(&output);
  backend.AddOutput("Plugged In");
  QStringList list;
  engine.ListOutputs(list);
  EXPECT_EQ(list.size(), 4);
  EXPECT_EQ(list.last(), "Plugged In");
  EXPECT_EQ(output.DeviceCount(), 4);
  EXPECT_TRUE(output.IsOpen());
  EXPECT_EQ(output.DeviceID(), 1);
}

TEST(SysexText, KeepsAtMostTheFirst200Bytes) {
  uint8_t block[300];
  for (int i = 0; i < 300; ++i) block[i] = uint8_t(i);  // zero bytes included
  const QByteArray text = TMIDIappUtil::SysexText(block, 300);
  ASSERT_EQ(text.size(), 200);
  EXPECT_EQ(text, QByteArray(reinterpret_cast<const char *>(block), 200));
  EXPECT_EQ(TMIDIappUtil::SysexText(block, 3), QByteArray("\0\1\2", 3));
  EXPECT_TRUE(TMIDIappUtil::SysexText(block, 0).isEmpty());
  EXPECT_TRUE(TMIDIappUtil::SysexText(nullptr, 50).isEmpty());
}

TEST(ProgramFolder, DropsTheSeparatorExceptAtARoot) {
  EXPECT_EQ(TMIDIappUtil::ProgramFolder(), QCoreApplication::applicationDirPath());
  EXPECT_EQ(TMIDIappUtil::FolderOfProgram("/usr/lib/kelvane/kelvane"), "/usr/lib/kelvane");
  EXPECT_EQ(TMIDIappUtil::FolderOfProgram("/kelvane"), "/");
  EXPECT_EQ(TMIDIappUtil::FolderOfProgram("C:\\Tools\\Kelvane.exe"), "C:\\Tools");
  EXPECT_EQ(TMIDIappUtil::FolderOfProgram("C:\\Kelvane.exe"), "C:\\");
}

class RecordingDialogs : public DeclineAllDialogs {
 public:
  bool Confirm(const QString &text) override {
    asked << "confirm:" + text;
    return answer;
  }
  bool Inform(const QString &text) override {
    asked << "inform:" + text;
    return answer;
  }
  QStringList asked;
  bool answer = true;
};

TEST(Ask, KindOneAsksYesOrNoOtherKindsInform) {
  RecordingDialogs dialogs;
  Dialogs *previous = Dialogs::Install(&dialogs);
  TMIDIappUtil engine;
  EXPECT_TRUE(engine.Ask("Overwrite?", 1));
  EXPECT_TRUE(engine.Ask("No MIDI input available", 0));
  dialogs.answer = false;  // closed without an answer
  EXPECT_FALSE(engine.Ask("Overwrite?", 1));
  EXPECT_FALSE(engine.Ask("Note", 7));
  EXPECT_EQ(dialogs.asked, (QStringList{"confirm:Overwrite?", "inform:No MIDI input available",
                                        "confirm:Overwrite?", "inform:Note"}));
  Dialogs::Install(previous);
}

}  // namespace
