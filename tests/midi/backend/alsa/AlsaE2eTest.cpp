// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Kelvane on the ALSA sequencer, end to end: the real program on an X display of the test
// machine (tools/alsa-vm.sh), driven with real X input, its ports subscribed to a peer program
// of the test's own as the settings file says. Knob keys, note keys and Panic; a 1 MiB file sent
// and a 1 MiB dump recorded through the SysEx page; a dump lost while the program was stopped;
// the peer unplugged and plugged back.
// One program serves every test: it takes seconds to start there. Speeds are printed.
#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "AlsaPeer.h"
#include "E2eCommon.h"
#include "MidiBackends.h"
#include "MidiIn.h"
#include "MidiOut.h"
#include "SameBytes.h"

namespace e2e {
namespace {

// The sequencer has no flow control: the peer sends Kelvane the next event of a dump only while
// Kelvane's input pool has this many cells free (a 256-byte event takes 11).
constexpr int kPeerRoom = 200;

// About 1 MiB of messages whose lengths vary from `shortest` over `spread` bytes, so that they
// begin and end anywhere in the pieces they travel in.
QByteArray Messages(int shortest, int spread, int seed) {
  QByteArray bytes;
  for (int i = 0; bytes.size() < (1 << 20); ++i)
    bytes += SysExOfLength(shortest + (i * 97) % spread, seed + i);
  return bytes;
}

// The numbers Kelvane gives the peer's port among its output and its input devices, as the
// settings file stores them.
std::pair<int, int> DeviceNumbers(const QString &name) {
  const auto backend = CreateMidiBackend("alsa");
  TMidiOutput output(*backend);
  TMidiInput input(*backend);
  try {
    output.SetProductName(name);
    input.SetProductName(name);
  } catch (const Exception &) {
    return {-1, -1};
  }
  return {output.DeviceID(), input.DeviceID()};
}

// SIGSTOP, as a debugger or an overloaded machine stops a program: returns once every thread
// of the process has stopped.
bool StopProcess(qint64 pid) {
  if (kill(static_cast<pid_t>(pid), SIGSTOP) != 0) return false;
  const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
  return WaitUntil([&] {
    for (const QString &task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
      QFile stat(tasks + '/' + task + "/stat");
      if (!stat.open(QIODevice::ReadOnly)) return false;
      // "pid (name) state ...": the state follows the name's closing parenthesis.
      const QByteArray line = stat.readAll();
      if (line.mid(line.lastIndexOf(')') + 2, 1) != "T") return false;
    }
    return true;
  });
}

class AlsaE2e : public ::testing::Test {
 protected:
  static void TearDownTestSuite() {
    if (app && app->Running()) {
      app->CloseWindow();
      EXPECT_TRUE(app->WaitForExit()) << "Kelvane did not close cleanly";
    }
    app.reset();
    peer.reset();
    dir.reset();
  }

  void SetUp() override {
    if (!app) StartKelvane();
    ASSERT_TRUE(app && app->Running() && app->Window()) << "Kelvane did not start";
    ASSERT_TRUE(app->FocusMain());
    peer->Clear();
  }

  // The settings name the MIDI service, the peer's port for output and input, and channel 5.
  static void StartKelvane() {
    dir = std::make_unique<QTemporaryDir>();
    peer = std::make_unique<AlsaPeer>("e2e-peer");
    ASSERT_FALSE(XDisplay().isEmpty()) << "no X display (KELVANE_E2E_DISPLAY_FILE)";
    ASSERT_TRUE(peer->Ok()) << "no ALSA sequencer here";
    const auto [out, in] = DeviceNumbers(peer->DeviceName());
    ASSERT_GE(out, 0);
    ASSERT_GE(in, 0);
    const QString settings = dir->filePath("kelvane.ini");
    IniFile::Write(settings, QStringLiteral("[setup]\nmidiapi=alsa\nout=%1\nin=%2\nch=4\n"
                                            "[kb]\nplaymode=0\nvel=100\nvelrnd=0\n")
                                 .arg(out)
                                 .arg(in)
                                 .toUtf8());
    app = std::make_unique<Kelvane>(settings);
    app->SetMidiApi({});  // the settings' MIDI service
    QElapsedTimer started;
    started.start();
    app->Start();
    ASSERT_TRUE(app->WaitForWindow()) << app->Output().toStdString();
    std::printf("[ start    ] Kelvane's window was shown %lld ms after the start\n",
                static_cast<long long>(started.elapsed()));
    ASSERT_TRUE(WaitUntil([] { return peer->Writers().contains("Kelvane"); }))
        << "Kelvane's output is not subscribed to the peer";
    ASSERT_TRUE(WaitUntil([] { return peer->Readers().contains("Kelvane"); }))
        << "Kelvane's input is not subscribed to the peer";
  }

  // Sends `bytes` as the peer, never filling Kelvane's input pool; returns when Kelvane's
  // input has read all of them (its pool is as free as before).
  static void SendPaced(const QByteArray &bytes) {
    const int idle = peer->ReadersFreeCells();
    ASSERT_TRUE(peer->Send(bytes, [](int64_t) { return peer->ReadersFreeCells() >= kPeerRoom; }));
    ASSERT_TRUE(WaitUntil([&] { return peer->ReadersFreeCells() >= idle; }));
  }

  QString File(const QString &name) const { return dir->filePath(name); }

  static std::unique_ptr<QTemporaryDir> dir;
  static std::unique_ptr<AlsaPeer> peer;
  static std::unique_ptr<Kelvane> app;
};

std::unique_ptr<QTemporaryDir> AlsaE2e::dir;
std::unique_ptr<AlsaPeer> AlsaE2e::peer;
std::unique_ptr<Kelvane> AlsaE2e::app;

TEST_F(AlsaE2e, KnobKeysNoteKeysAndPanicArriveAsChannelMessagesOnChannel5) {
  // The knob page in knob mode: "1" raises knob 1 (controller 24) by the speed 6, "q" lowers
  // it, "3" raises knob 3 (controller 26).
  app->ShowPage(0);
  Xdo({"key", "--delay", "20", "1", "1", "q", "3"});
  ASSERT_TRUE(WaitUntil([] { return SplitMessages(peer->Received()).size() >= 4; }));
  // The keyboard page plays notes: Z is note 36. Panic sends All Sound Off on every channel.
  app->ShowPage(1);
  app->Key("z");
  app->Key("alt+BackSpace");
  ASSERT_TRUE(WaitUntil([] { return SplitMessages(peer->Received()).size() >= 22; }));
  Settle();

  std::vector<QByteArray> expected = {Bytes({0xB4, 24, 6}),   Bytes({0xB4, 24, 12}),
                                      Bytes({0xB4, 24, 6}),   Bytes({0xB4, 26, 6}),
                                      Bytes({0x94, 36, 100}), Bytes({0x84, 36, 0})};
  for (int channel = 0; channel < 16; ++channel)
    expected.push_back(Bytes({0xB0 + channel, 120, 0}));
  const std::vector<QByteArray> got = SplitMessages(peer->Received());
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < got.size(); ++i)
    EXPECT_EQ(Hex(got[i]), Hex(expected[i])) << "message " << i;
}

TEST_F(AlsaE2e, AOneMebibyteFileOfManyMessagesSentThroughTheSysExPageArrivesByteExact) {
  const QByteArray content = Messages(100, 4000, 1);
  const QString file = File("bank.syx");
  IniFile::Write(file, content);
  app->ShowPage(sysexpage::kPage);
  ASSERT_NO_FATAL_FAILURE(SendSysExFile(*app, file));
  ASSERT_TRUE(WaitUntil([&] { return peer->Count() >= content.size(); }, 60000))
      << peer->Count() << " of " << content.size() << " bytes arrived";
  // From the first byte's arrival to the last's, by the peer's clock.
  const auto took = peer->ArrivalOf(content.size() - 1) - peer->ArrivalOf(0);
  PrintSpeed("Kelvane on ALSA, a 1 MiB file of 100 to 4099-byte messages from the SysEx page",
             content.size(), std::chrono::duration<double>(took).count());
  Settle();
  ExpectSameBytes(peer->Received(), content);
  EXPECT_EQ(peer->LargestSysEx(), AlsaPeer::kPiece);
  EXPECT_EQ(peer->Losses(), 0);
}

TEST_F(AlsaE2e, AOneMebibyteDumpIn256ByteEventsIsRecordedThroughTheSysExPageByteExact) {
  const QByteArray dump = Messages(150, 9000, 7);
  app->ShowPage(sysexpage::kPage);
  ASSERT_NO_FATAL_FAILURE(StartRecording(*app, File("dump")));
  QElapsedTimer timer;
  timer.start();
  ASSERT_NO_FATAL_FAILURE(SendPaced(dump));
  PrintSpeed("Kelvane on ALSA, a 1 MiB dump in 256-byte events read while the SysEx page records",
             dump.size(), double(timer.nsecsElapsed()) / 1e9);
  Settle();  // the last notices reach the window
  ExpectSameBytes(FinishRecording(*app, File("dump")), dump);
}

// Stopped, Kelvane reads nothing: its input pool fills and the sequencer throws away what it
// held. Once it runs again the loss is reported at the done button, and what comes after the
// loss is recorded whole.
TEST_F(AlsaE2e, ADumpLostWhileKelvaneIsStoppedIsReportedAndWhatFollowsIsRecordedWhole) {
  app->ShowPage(sysexpage::kPage);
  ASSERT_NO_FATAL_FAILURE(StartRecording(*app, File("after-loss")));
  const bool stopped = StopProcess(app->ProcessId());
  const bool floodTaken = stopped && peer->Send(Messages(1000, 2000, 3));
  kill(static_cast<pid_t>(app->ProcessId()), SIGCONT);
  ASSERT_TRUE(stopped);
  ASSERT_FALSE(floodTaken) << "Kelvane's input pool took a 1 MiB flood without reading";

  const QByteArray after = SysExOfLength(300, 1) + SysExOfLength(7000, 2) + SysExOfLength(20, 3);
  ASSERT_NO_FATAL_FAILURE(SendPaced(after));
  Settle();
  app->Click(app->PageOrigin() + sysexpage::kDone);
  const auto box = app->WaitForDialog("^Kelvane$");
  ASSERT_TRUE(box.has_value()) << "the loss was not reported";
  app->Key("Return");
  ASSERT_TRUE(WaitUntil([&] { return app->WindowGone(*box); }));
  EXPECT_FALSE(DoneButtonEnabled(*app));
  ExpectSameBytes(ReadFile(File("after-loss.syx")), after);
}

// The peer goes as an unplugged synth goes (its client ends) and comes back under its name: the
// sequencer announces both, and Kelvane takes it back by itself.
TEST_F(AlsaE2e, TheSynthUnpluggedAndPluggedBackIsUsedAgainWithoutAClick) {
  peer.reset();
  Settle();
  peer = std::make_unique<AlsaPeer>("e2e-peer");
  ASSERT_TRUE(peer->Ok());
  ASSERT_TRUE(WaitUntil([] { return peer->Writers().contains("Kelvane"); }))
      << "Kelvane's output did not take the synth back";
  ASSERT_TRUE(WaitUntil([] { return peer->Readers().contains("Kelvane"); }))
      << "Kelvane's input did not take the synth back";
  app->ShowPage(0);
  app->Key("1");
  EXPECT_TRUE(WaitUntil([] { return !peer->Received().isEmpty(); }));
}

}  // namespace
}  // namespace e2e

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);  // no GUI of our own: Qt's start costs seconds there
  ::testing::InitGoogleTest(&argc, argv);
  e2e::SetTimeScale(4);  // the test machine's processors are emulated
  return RUN_ALL_TESTS();
}
