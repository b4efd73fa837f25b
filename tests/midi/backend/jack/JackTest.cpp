// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <atomic>
#include <cstdlib>

#include "JackClient.h"
#include "JackPeer.h"
#include "MidiBackends.h"
#include "MidiIn.h"
#include "MidiOut.h"
#include "PortTestSupport.h"
#include "SysExBytes.h"

namespace {

// The API under test: our own JACK code, or RtMidi's connections (as CoreMIDI and WinMM use
// them) on RtMidi's JACK API when KELVANE_TEST_MIDI_API says "rtmidi-jack".
QString ApiUnderTest() {
  const QString api = qEnvironmentVariable("KELVANE_TEST_MIDI_API");
  return api.isEmpty() ? QStringLiteral("jack") : api;
}

// Set by a test: our client's jack_activate fails, as a server's does when it cannot take one
// more client into its graph. The program's objects are linked with --wrap=jack_activate.
std::atomic<bool> refuseActivation{false};

}  // namespace

extern "C" int __real_jack_activate(jack_client_t *client);
extern "C" int __wrap_jack_activate(jack_client_t *client) {
  return refuseActivation.load() ? -1 : __real_jack_activate(client);
}

namespace {

class JackPorts : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(backend->Api(), ApiUnderTest())
        << "no JACK server named " << qgetenv("JACK_DEFAULT_SERVER").constData();
    ASSERT_TRUE(peer.Ok());
    // PipeWire's JACK shows a client's ports to the others a little after it activated.
    const auto listed = [&](auto connection, const std::string &port) {
      return connection->PortNames().contains(QString::fromStdString(peer.Name() + port));
    };
    ASSERT_TRUE(WaitFor([&] {
      return listed(backend->CreateOutput(), ":in") && listed(backend->CreateInput(), ":out");
    }));
  }
  // RtMidi's JACK API drops messages over 16,379 bytes (its connections send each SysEx message
  // whole, as on CoreMIDI and WinMM, and refuse a longer one).
  bool OurJackCode() const { return backend->Api() == "jack"; }
  // Overruns seen by `port` and cycles the peer missed: a server that overran may have lost
  // data between the peer and us, and said so; a run short of bytes then proves nothing.
  template <class Port>
  uint64_t Overruns(const Port &port) {
    return port.Overruns() + peer.SkippedCycles();
  }

  std::unique_ptr<MidiBackend> backend = CreateMidiBackend(ApiUnderTest());
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
  const uint64_t overruns = Overruns(output);
  output.WriteShortMessage(0x90, 60, 100);
  output.WriteShortMessage(0xC2, 7, 0);
  output.WriteSysEx(Data(sysex), sysex.size());
  output.WriteShortMessage(0x80, 60, 0);
  // The note-off overtakes the SysEx message when that has not begun yet, and waits for it
  // otherwise (a connection's own pump thread may have begun it at once), never inside it.
  const QByteArray overtaking = Bytes({0x90, 60, 100, 0xC2, 7, 0x80, 60, 0}) + sysex;
  const QByteArray behind = Bytes({0x90, 60, 100, 0xC2, 7}) + sysex + Bytes({0x80, 60, 0});
  const bool came = WaitFor([&] { return peer.Received().size() >= overtaking.size(); });
  const bool exact = peer.Received() == overtaking || peer.Received() == behind;
  // A server that overran may have lost or garbled data between us and the peer: it said so.
  if (!exact && Overruns(output) > overruns)
    GTEST_SKIP() << "the server overran; " << peer.Received().size() << " bytes came";
  ASSERT_TRUE(came) << peer.Received().size() << " of " << overtaking.size() << " bytes came";
  EXPECT_TRUE(exact) << peer.Received().toHex().toStdString();
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
  const uint64_t overruns = Overruns(output);
  output.WriteSysEx(Data(sysex), sysex.size());
  ASSERT_TRUE(WaitFor([&] { return completions == 1; }, 20000));
  if (!OurJackCode()) {  // RtMidi's JACK API drops a message over 16,379 bytes: refused
    EXPECT_EQ(output.LastError(), mrInvalidParam);
    EXPECT_TRUE(peer.Received().isEmpty());
    return;
  }
  const bool whole = WaitFor([&] { return peer.Received().size() >= sysex.size(); });
  if (peer.Received() != sysex && Overruns(output) > overruns)
    GTEST_SKIP() << "the server overran; " << peer.Received().size() << " of " << sysex.size()
                 << " bytes came";
  ASSERT_TRUE(whole) << peer.Received().size() << " of " << sysex.size() << " events "
                     << peer.EventsReceived() << " lost " << peer.LostAny();
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
  const uint64_t overruns = Overruns(input);
  peer.Send(messages);
  WaitFor([&] { return received.size() >= dump.size() || overflows; }, 30000);
  std::printf("4 MiB dump received in %lld ms\n", static_cast<long long>(timer.elapsed()));
  const uint64_t overran = Overruns(input) - overruns;
  input.ClosePort();
  EXPECT_EQ(overflows, 0);
  // A server that overran may have lost or garbled data between the peer and us: it said so.
  if (received != dump && overran > 0)
    GTEST_SKIP() << "the server overran " << overran << " times; " << received.size() << " of "
                 << dump.size() << " bytes came";
  EXPECT_EQ(received.size(), dump.size());
  EXPECT_TRUE(received == dump);
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
  const uint64_t overruns = Overruns(input);
  peer.Send(messages);
  for (int restart = 0; restart < 200 && received < total; ++restart) {
    input.StartInput();
    QTest::qWait(1);
  }
  WaitFor([&] { return received >= total; }, 10000);
  const uint64_t overran = Overruns(input) - overruns;
  input.ClosePort();
  if (received < total && overran > 0)
    GTEST_SKIP() << "the server overran " << overran << " times; " << received << " of " << total
                 << " bytes came";
  EXPECT_EQ(received, total);
}

// A port flagged physical stands for a cable behind a bridge that drops what does not fit its
// small queue: SysEx goes no faster than the wire in small events, unless the musician lifts it.
TEST(JackHardwarePort, GetsSysExAtWireSpeedInSmallEventsUnlessLifted) {
  if (ApiUnderTest() != "jack") GTEST_SKIP() << "pacing by port flags is our own JACK code's";
  auto backend = CreateMidiBackend("jack");
  ASSERT_EQ(backend->Api(), "jack");
  JackPeer synth("cablepeer", /*physical=*/true);
  ASSERT_TRUE(synth.Ok());
  TMidiOutput output(*backend);
  output.SetProductName(QString::fromStdString(synth.Name() + ":in"));
  ASSERT_TRUE(output.OpenPort());
  int completions = 0;
  output.Onmidioutput = [&](QObject *) { ++completions; };
  EXPECT_EQ(output.WirePacing(), MidiOutPacing::HardwareWire);

  const QByteArray dump = SysExOfLength(1024, 1) + SysExOfLength(1024, 2) + SysExOfLength(1024, 3);
  QElapsedTimer timer;
  timer.start();
  output.WriteSysEx(Data(dump), dump.size());
  output.WriteShortMessage(0x90, 60, 1);
  ASSERT_TRUE(WaitFor([&] { return synth.Received().size() >= dump.size() + 3; }, 10000));
  // A cable takes 3,125 bytes a second; at most the credit of one piece is spent ahead of it.
  EXPECT_GE(timer.elapsed(), (dump.size() - 256) * 1000 / 3125);
  EXPECT_LE(synth.LargestEvent(), 256u);
  EXPECT_EQ(synth.Received().size(), dump.size() + 3);
  EXPECT_TRUE(synth.Received().contains(Bytes({0x90, 60, 1})));
  ASSERT_TRUE(WaitFor([&] { return completions == 1; }));

  output.LiftHardwarePacing(true);
  EXPECT_EQ(output.WirePacing(), MidiOutPacing::HardwareLifted);
  const QByteArray fast = SysExOfLength(64 * 1024, 4);
  output.WriteSysEx(Data(fast), fast.size());
  ASSERT_TRUE(WaitFor([&] { return completions == 2; }, 10000));
  ASSERT_TRUE(WaitFor([&] { return synth.Received().size() >= dump.size() + 3 + fast.size(); }));
  EXPECT_TRUE(synth.Received().endsWith(fast));
  EXPECT_GT(synth.LargestEvent(), 256u) << "lifted, SysEx goes in the server's own event size";
  EXPECT_TRUE(output.ClosePort());
}

// An open the server would not activate leaves no client behind holding Kelvane's name.
TEST(JackActivation, AClientThatCouldNotBeActivatedIsClosed) {
  if (ApiUnderTest() != "jack") GTEST_SKIP() << "our own JACK code's";
  refuseActivation.store(true);
  auto refused = JackClient::Open();
  EXPECT_FALSE(refused->WaitForAnswer(std::chrono::seconds(10)));
  refuseActivation.store(false);
  jack_client_t *probe = jack_client_open("probe", JackNoStartServer, nullptr);
  ASSERT_NE(probe, nullptr);
  char *held = jack_get_uuid_for_client_name(probe, "Kelvane");
  EXPECT_EQ(held, nullptr) << "a client that never runs holds the name";
  jack_free(held);
  jack_client_close(probe);
  EXPECT_TRUE(JackClient::Open()->WaitForAnswer(std::chrono::seconds(10)));
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
