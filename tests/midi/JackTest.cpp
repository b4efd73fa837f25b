// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <cstdlib>

#include "JackPeer.h"
#include "MidiIn.h"
#include "MidiOut.h"
#include "PortTestSupport.h"
#include "SysExBytes.h"

namespace {

class JackPorts : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(backend->Api(), "jack")
        << "no JACK server named " << qgetenv("JACK_DEFAULT_SERVER").constData();
    ASSERT_TRUE(peer.Ok());
  }

  std::unique_ptr<MidiBackend> backend = CreateMidiBackend("");
  JackPeer peer;
};

TEST_F(JackPorts, ShortMessagesAndSysExReachThePeerByteExact) {
  TMidiOutput output(*backend);
  output.setObjectName("MidiOutput1");
  output.SetProductName(QString::fromStdString(peer.Name() + ":in"));
  ASSERT_TRUE(output.OpenPort());
  int completions = 0;
  output.Onmidioutput = [&](QObject *) { ++completions; };

  const QByteArray sysex = SysExOfLength(300, 1);
  output.WriteShortMessage(0x90, 60, 100);
  output.WriteShortMessage(0xC2, 7, 0);
  output.WriteSysEx(Data(sysex), sysex.size());
  output.WriteShortMessage(0x80, 60, 0);  // goes before the SysEx message, which has not begun
  const QByteArray expected = Bytes({0x90, 60, 100, 0xC2, 7, 0x80, 60, 0}) + sysex;
  ASSERT_TRUE(WaitFor([&] { return peer.Received().size() >= expected.size(); }));
  EXPECT_EQ(peer.Received(), expected);
  EXPECT_TRUE(WaitFor([&] { return completions == 1; }));
  EXPECT_TRUE(output.ClosePort());
}

TEST_F(JackPorts, AHundredKilobyteSysExArrivesWhole) {
  TMidiOutput output(*backend);
  output.SetProductName(QString::fromStdString(peer.Name() + ":in"));
  ASSERT_TRUE(output.OpenPort());
  int completions = 0;
  output.Onmidioutput = [&](QObject *) { ++completions; };
  const QByteArray sysex = SysExOfLength(100 * 1024, 2);
  output.WriteSysEx(Data(sysex), sysex.size());
  ASSERT_TRUE(WaitFor([&] { return completions == 1; }, 20000));
  ASSERT_TRUE(WaitFor([&] { return peer.Received().size() >= sysex.size(); }))
      << peer.Received().size() << " of " << sysex.size() << " events " << peer.EventsReceived()
      << " lost " << peer.LostAny();
  EXPECT_EQ(peer.Received().size(), sysex.size());
  EXPECT_TRUE(peer.Received() == sysex);
  EXPECT_FALSE(peer.LostAny());
}

TEST_F(JackPorts, AFourMegabyteDumpAtFullSpeedReachesTheInputPort) {
  TMidiInput input(*backend);
  input.setObjectName("MidiInput1");
  input.SetProductName(QString::fromStdString(peer.Name() + ":out"));
  input.SetCapacity(4096);
  input.SetSysexBufferSize(8192);
  input.SetSysexBufferCount(256);
  QByteArray received;
  int overflows = 0;
  input.OnMidiInput = [&](QObject *) {
    while (auto event = input.ReadEvent())
      received.append(reinterpret_cast<const char *>(event->SysExBytes.get()),
                      static_cast<qsizetype>(event->SysExByteCount));
  };
  input.OnOverflow = [&](QObject *) { ++overflows; };
  input.OpenPort();
  ASSERT_TRUE(input.IsOpen());
  input.StartInput();

  std::vector<QByteArray> messages;
  QByteArray dump;
  for (int i = 0; i < 512; ++i) {
    messages.push_back(SysExOfLength(8192, i));
    dump += messages.back();
  }
  QElapsedTimer timer;
  timer.start();
  peer.Send(messages);
  ASSERT_TRUE(WaitFor([&] { return received.size() >= dump.size() || overflows; }, 30000));
  std::printf("4 MiB dump received in %lld ms\n", static_cast<long long>(timer.elapsed()));
  EXPECT_EQ(overflows, 0);
  EXPECT_EQ(received.size(), dump.size());
  EXPECT_TRUE(received == dump);
  input.ClosePort();
}

// Reception restarted again and again while a peer's dump flows in: the callback reads the start
// time while the GUI thread sets it (ThreadSanitizer watches this in the tsan build).
TEST_F(JackPorts, ReceptionRestartsWhileInputFlows) {
  TMidiInput input(*backend);
  input.SetProductName(QString::fromStdString(peer.Name() + ":out"));
  input.SetSysexBufferSize(8192);
  input.SetSysexBufferCount(64);
  qsizetype received = 0;
  input.OnMidiInput = [&](QObject *) {
    while (auto event = input.ReadEvent()) received += event->SysExByteCount;
  };
  input.OpenPort();
  ASSERT_TRUE(input.IsOpen());
  input.StartInput();
  std::vector<QByteArray> messages;
  qsizetype total = 0;
  for (int i = 0; i < 64; ++i) {
    messages.push_back(SysExOfLength(4096, i));
    total += messages.back().size();
  }
  peer.Send(messages);
  for (int restart = 0; restart < 200 && received < total; ++restart) {
    input.StartInput();
    QTest::qWait(1);
  }
  EXPECT_TRUE(WaitFor([&] { return received >= total; }, 10000));
  EXPECT_EQ(received, total);
  input.ClosePort();
}

// Runs only on a server of its own (see the test list): it stops that server midway.
TEST(JackServerDeath, PortsStayResponsiveAndWorkAgainOnceTheServerIsBack) {
  const QByteArray server = qgetenv("KELVANE_JACK_DEATH_SERVER");
  if (server.isEmpty()) GTEST_SKIP() << "needs a server of its own";
  const std::string script = KELVANE_JACK_SCRIPT;
  const std::string start = script + " start " + server.toStdString();
  const std::string stop = script + " stop " + server.toStdString();
  qputenv("JACK_DEFAULT_SERVER", server);
  ASSERT_EQ(std::system(start.c_str()), 0);

  auto peer = std::make_unique<JackPeer>("deathpeer");  // its output is the input device
  ASSERT_TRUE(peer->Ok());
  auto backend = CreateMidiBackend("jack");
  TMidiOutput output(*backend);
  output.SetDeviceID(-1);  // our virtual port: needs no peer
  ASSERT_TRUE(output.OpenPort());
  TMidiInput input(*backend);
  ASSERT_EQ(input.DeviceCount(), 1);  // the peer's output; our own ports are never devices
  input.OpenPort();
  ASSERT_TRUE(input.IsOpen());
  const QByteArray sysex = SysExOfLength(100 * 1024, 3);
  output.WriteSysEx(Data(sysex), sysex.size());  // in flight while the server stops
  Settle();
  peer.reset();
  ASSERT_EQ(std::system(stop.c_str()), 0);

  QElapsedTimer timer;
  timer.start();
  QString text;
  while (text.isEmpty() && timer.elapsed() < 5000) {
    QTest::qWait(10);
    try {
      output.WriteShortMessage(0xB0, 1, 1);
    } catch (const EmidioutputError &error) {
      text = error.Message();
    }
  }
  EXPECT_EQ(text, backend->ErrorText(mrServerGone).value());
  EXPECT_TRUE(output.ClosePort());
  input.ClosePort();
  EXPECT_LT(timer.elapsed(), 5000);
  EXPECT_FALSE(output.OpenPort());

  ASSERT_EQ(std::system(start.c_str()), 0);
  // The client opens again on the server that is back, without anyone waiting for it.
  ASSERT_TRUE(WaitFor([&] { return backend->Answers(); }));
  output.SetDeviceID(-1);
  EXPECT_TRUE(output.OpenPort());
  output.WriteShortMessage(0x90, 1, 1);
  EXPECT_TRUE(output.ClosePort());
  std::system(stop.c_str());
}

}  // namespace
