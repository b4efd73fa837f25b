// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The ports over the ALSA sequencer backend against a peer client of the test's own, on a real
// sequencer (the test machine of tools/alsa-vm.sh): transfers both ways, Panic in the middle of
// a transfer, a peer that goes away, and what libasound and the sequencer can refuse. Speeds are
// printed, never asserted.
#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <poll.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <atomic>
#include <chrono>
#include <thread>

#include "AlsaBackend.h"
#include "AlsaPeer.h"
#include "DeviceWatch.h"
#include "MidiBackends.h"
#include "MidiIn.h"
#include "MidiOut.h"
#include "PortTestSupport.h"
#include "SameBytes.h"
#include "SysExBytes.h"

// The test program stands in front of a few of libasound's calls, to make them fail on demand
// the way a machine out of memory or a busy sequencer would.
namespace {

std::atomic<bool> refuseEncoder{false};
std::atomic<int> outputsToRefuse{0};
std::atomic<bool> refuseAnnouncements{false};

template <typename Function>
Function Real(const char *name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

bool TakeOne(std::atomic<int> &count) {
  for (int left = count.load(); left > 0;)
    if (count.compare_exchange_weak(left, left - 1)) return true;
  return false;
}

}  // namespace

extern "C" int snd_midi_event_new(size_t size, snd_midi_event_t **coder) {
  if (refuseEncoder.exchange(false)) return -ENOMEM;
  static const auto real = Real<int (*)(size_t, snd_midi_event_t **)>("snd_midi_event_new");
  return real(size, coder);
}

extern "C" int snd_seq_event_output_direct(snd_seq_t *seq, snd_seq_event_t *event) {
  if (TakeOne(outputsToRefuse)) return -EAGAIN;  // a receiver's pool filled by another sender
  static const auto real =
      Real<int (*)(snd_seq_t *, snd_seq_event_t *)>("snd_seq_event_output_direct");
  return real(seq, event);
}

extern "C" int snd_seq_connect_from(snd_seq_t *seq, int port, int client, int fromPort) {
  if (refuseAnnouncements.load() && client == SND_SEQ_CLIENT_SYSTEM &&
      fromPort == SND_SEQ_PORT_SYSTEM_ANNOUNCE)
    return -EPERM;
  static const auto real = Real<int (*)(snd_seq_t *, int, int, int)>("snd_seq_connect_from");
  return real(seq, port, client, fromPort);
}

namespace {

using Clock = AlsaPeer::Clock;

template <typename Connection>
QStringList Names(Connection connection) {
  QStringList names;
  for (int id = 0; id < connection->PortCount(); ++id) {
    QString name;
    connection->PortName(id, name);
    names << name;
  }
  return names;
}

bool Send(TMidiOutput &output, const QByteArray &bytes) {
  output.WriteSysEx(Data(bytes), static_cast<size_t>(bytes.size()));
  return true;
}

// Every kind of channel message on every channel, three bytes each as the port packs them.
QByteArray ShortMessages() {
  QByteArray bytes;
  for (int channel = 0; channel < 16; ++channel) {
    bytes += Bytes({0x90 | channel, 60, 100, 0xA0 | channel, 60, 33, 0xB0 | channel, 7, 127});
    bytes += Bytes({0xC0 | channel, channel * 8, 0, 0xD0 | channel, 64, 0});
    bytes += Bytes({0xE0 | channel, 0x11, 0x40, 0x90 | channel, 60, 0, 0x80 | channel, 61, 64});
  }
  return bytes;
}

// What the wire carries for them: program change and channel pressure have one data byte.
QByteArray OnTheWire(const QByteArray &packed) {
  QByteArray bytes;
  for (qsizetype at = 0; at < packed.size(); at += 3)
    bytes += packed.mid(at, static_cast<qsizetype>(ShortMessageLength(uint8_t(packed[at]))));
  return bytes;
}

QByteArray Dump(int messages, int length, int seed) {
  QByteArray dump;
  for (int i = 0; i < messages; ++i) dump += SysExOfLength(length, seed + i);
  return dump;
}

// Our output port subscribed to the peer's port, chosen by its name as the musician sees it.
class AlsaOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(backend->Api(), "alsa");
    ASSERT_TRUE(peer->Ok());
    output.SetProductName(peer->DeviceName());
    ASSERT_TRUE(output.OpenPort()) << output.ErrorText(output.LastError()).toStdString();
    output.Onmidioutput = [this](QObject *) {
      ++completions;
      lastResult = output.LastError();
    };
  }

  // Sends `bytes` as one block; waits until the peer has all of them and the block finished.
  QByteArray Transfer(const QByteArray &bytes, const char *what) {
    const int before = completions;
    const qsizetype had = peer->Count();
    QElapsedTimer timer;
    timer.start();
    Send(output, bytes);
    EXPECT_TRUE(WaitFor([&] { return peer->Count() >= had + bytes.size() && completions > before; },
                        60000));
    PrintSpeed(what, bytes.size(), double(timer.nsecsElapsed()) / 1e9);
    EXPECT_EQ(lastResult, 0);
    return peer->Received();
  }

  std::unique_ptr<MidiBackend> backend = CreateMidiBackend("alsa");
  std::unique_ptr<AlsaPeer> peer = std::make_unique<AlsaPeer>("kelvane-peer");
  TMidiOutput output{*backend};
  int completions = 0;
  uint16_t lastResult = 0;
};

TEST_F(AlsaOutput, ListsOtherProgramsPortsByNameAndNeverOurOwn) {
  const QStringList outputs = Names(backend->CreateOutput());
  EXPECT_TRUE(outputs.contains("Midi Through:Midi Through Port-0"))
      << outputs.join(", ").toStdString();
  EXPECT_TRUE(outputs.contains("kelvane-peer:port"));
  TMidiInput input(*backend);
  input.OpenPort();  // our input port now exists too
  const QStringList inputs = Names(backend->CreateInput());
  EXPECT_TRUE(inputs.contains("kelvane-peer:port")) << inputs.join(", ").toStdString();
  for (const QString &name : outputs + inputs)
    EXPECT_FALSE(name.startsWith("Kelvane:")) << name.toStdString();
  EXPECT_FALSE(inputs.contains("System:Announce"));
}

TEST_F(AlsaOutput, ShortMessagesArriveByteExact) {
  const QByteArray sent = ShortMessages();
  for (qsizetype at = 0; at < sent.size(); at += 3)
    output.WriteShortMessage(uint8_t(sent[at]), uint8_t(sent[at + 1]), uint8_t(sent[at + 2]));
  const QByteArray expected = OnTheWire(sent);
  ASSERT_TRUE(WaitFor([&] { return peer->Count() >= expected.size(); }));
  Settle();
  ExpectSameBytes(peer->Received(), expected);
}

TEST_F(AlsaOutput, LongDumpAndLongMessageArriveByteExactInEventsOf256Bytes) {
  const QByteArray dump = Dump(512, 8192, 1);  // 4 MiB
  const QByteArray message = SysExOfLength(1 << 20, 7);
  ExpectSameBytes(Transfer(dump, "ALSA, 4 MiB of 8 KiB messages to a sequencer peer"), dump);
  ExpectSameBytes(Transfer(message, "ALSA, one 1 MiB message to a sequencer peer").mid(dump.size()),
                  message);
  EXPECT_EQ(peer->LargestSysEx(), AlsaPeer::kPiece);
  EXPECT_EQ(peer->Losses(), 0);
}

// Through "Midi Through", which passes each event on to its own subscribers: the pace is the
// peer's behind it.
TEST_F(AlsaOutput, AMessageThroughMidiThroughArrivesByteExact) {
  output.ClosePort();
  output.SetProductName("Midi Through:Midi Through Port-0");
  ASSERT_TRUE(output.OpenPort());
  peer->ConnectFrom(14, 0);
  const QByteArray message = SysExOfLength(1 << 20, 9);
  ExpectSameBytes(Transfer(message, "ALSA, one 1 MiB message through Midi Through"), message);
  EXPECT_EQ(peer->Losses(), 0);
}

// A program that keeps a small input pool (16 cells, where one event of 256 bytes takes 11) is
// sent everything all the same, an event at a time.
TEST_F(AlsaOutput, AProgramWithASmallInputPoolReceivesAMessageByteExact) {
  output.ClosePort();
  peer = std::make_unique<AlsaPeer>("small-pool-peer", 16);
  output.SetProductName(peer->DeviceName());
  ASSERT_TRUE(output.OpenPort());
  const QByteArray message = SysExOfLength(64 * 1024, 13);
  ExpectSameBytes(Transfer(message, "ALSA, a 64 KiB message to a peer with 16 input cells"),
                  message);
  EXPECT_EQ(peer->Losses(), 0);
}

TEST_F(AlsaOutput, PanicEndsTheMessageInFlightAndGoesFirst) {
  const QByteArray dump = Dump(256, 8192, 3);  // 2 MiB
  Send(output, dump);
  ASSERT_TRUE(WaitFor([&] { return peer->Count() > 100000; }));
  const auto panicAt = Clock::now();
  EXPECT_TRUE(output.CancelSysEx());
  for (int channel = 0; channel < 16; ++channel)
    output.WriteShortMessage(static_cast<uint8_t>(0xB0 + channel), 120, 0);
  QByteArray panic;
  for (int channel = 0; channel < 16; ++channel) panic += Bytes({0xB0 + channel, 120, 0});
  ASSERT_TRUE(WaitFor([&] { return peer->Received().endsWith(panic); }))
      << peer->Received().right(80).toHex().toStdString() << " " << peer->Count();
  Settle();
  const QByteArray received = peer->Received();
  // The transfer's bytes up to the cancel, its F7, the Panic, and nothing of the transfer after.
  ASSERT_TRUE(received.endsWith(char(0xF7) + panic));
  const qsizetype f7 = received.size() - panic.size() - 1;
  EXPECT_EQ(received.left(f7), dump.left(f7));
  const double ms =
      std::chrono::duration<double, std::milli>(peer->ArrivalOf(received.size() - 1) - panicAt)
          .count();
  std::printf("[ panic    ] ALSA: the 16 All Sound Off reached the peer %.2f ms after Panic\n", ms);
}

TEST_F(AlsaOutput, APeerThatGoesAwayMidTransferGivesAnErrorAndNoHang) {
  Send(output, Dump(128, 8192, 5));
  ASSERT_TRUE(WaitFor([&] { return peer->Count() > 50000; }));
  peer.reset();
  ASSERT_TRUE(WaitFor([&] { return completions > 0; }, 10000));
  EXPECT_EQ(lastResult, mrDeviceGone);
  EXPECT_EQ(output.ErrorText(lastResult),
            "The ALSA sequencer port has gone (its program ended or the device was unplugged)");
  EXPECT_NE(RaisedText<EmidioutputError>([&] { output.WriteShortMessage(0x90, 60, 1); }),
            "(nothing raised)");
  EXPECT_TRUE(output.ClosePort());
}

TEST_F(AlsaOutput, WithoutMemoryForItsEncoderTheOutputFailsToOpenAndLeavesNoSubscription) {
  output.ClosePort();
  ASSERT_TRUE(WaitFor([&] { return peer->Writers().isEmpty(); }));
  refuseEncoder = true;
  EXPECT_FALSE(output.OpenPort());
  EXPECT_EQ(output.LastError(), mrNoMemory);
  EXPECT_TRUE(peer->Writers().isEmpty()) << peer->Writers().join(", ").toStdString();
  ASSERT_TRUE(output.OpenPort());
  output.WriteShortMessage(0x90, 60, 100);
  EXPECT_TRUE(WaitFor([&] { return peer->Received() == Bytes({0x90, 60, 100}); }));
}

// The pump writes only what every receiver has room for, so the sequencer refuses an event only
// when somebody else filled the receiver in between: the block ends with the refusal, a refused
// short message is reported, and the connection counts both.
TEST(AlsaRefusals, AnEventTheSequencerRefusesIsReportedAndCounted) {
  const auto backend = CreateMidiBackend("alsa");
  AlsaPeer peer("kelvane-peer");
  const auto connection = backend->CreateOutput();
  const auto &alsa = dynamic_cast<const kelvane::MidiOutAlsa &>(*connection);
  MidiWake wake;
  connection->SetWake(&wake);
  ASSERT_EQ(connection->Open(static_cast<int>(connection->PortNames().indexOf(peer.DeviceName()))),
            mrOk);
  const auto next = [&] {
    MidiOutQueue::Finished finished;
    EXPECT_TRUE(WaitFor([&] { return connection->TakeFinished(finished); }));
    return finished;
  };
  const QByteArray message = SysExOfLength(600, 3);  // three events
  const auto block = [&] { return std::vector<uint8_t>(Data(message), Data(message) + 600); };

  outputsToRefuse = 1;
  ASSERT_EQ(connection->SendSysEx(block()), mrOk);
  MidiOutQueue::Finished finished = next();
  EXPECT_TRUE(finished.sysex);
  EXPECT_EQ(finished.result, mrNotTaking);
  EXPECT_EQ(alsa.Refusals(), 1u);
  EXPECT_EQ(backend->ErrorText(mrNotTaking),
            "The receiving ALSA sequencer port is not taking data");

  outputsToRefuse = 1;
  ASSERT_EQ(connection->SendShort(0x90 | 60 << 8 | 100 << 16), mrOk);
  finished = next();
  EXPECT_FALSE(finished.sysex);
  EXPECT_EQ(finished.result, mrNotTaking);
  EXPECT_EQ(alsa.Refusals(), 2u);

  ASSERT_EQ(connection->SendSysEx(block()), mrOk);
  finished = next();
  EXPECT_EQ(finished.result, mrOk);
  EXPECT_TRUE(WaitFor([&] { return peer.Received().endsWith(message); }));
  EXPECT_EQ(alsa.Refusals(), 2u);
  connection->Close();
}

// The peer sends a dump in events of 256 bytes, paced by what the port's consumer has taken;
// the port records it as it arrives.
TEST(AlsaInput, ADumpIn256ByteEventsIsRecordedByteExact) {
  auto backend = CreateMidiBackend("alsa");
  AlsaPeer peer("kelvane-peer");
  TMidiInput input(*backend);
  QByteArray sysex, shorts;
  std::atomic<int64_t> taken{0};
  int overflows = 0;
  input.OnMidiInput = [&](QObject *) {
    while (auto event = input.ReadEvent()) {
      if (event->StatusByte == 0xF0)
        sysex.append(reinterpret_cast<const char *>(event->SysExBytes.get()),
                     static_cast<qsizetype>(event->SysExByteCount));
      else
        shorts += Bytes({event->StatusByte, event->DataByte1, event->DataByte2});
      taken.fetch_add(event->SysExByteCount ? int64_t(event->SysExByteCount) : 3);
    }
  };
  input.OnOverflow = [&](QObject *) { ++overflows; };
  input.SetProductName(peer.DeviceName());
  input.OpenPort();
  ASSERT_TRUE(input.IsOpen()) << input.ErrorText(input.Error()).toStdString();
  input.StartInput();

  const QByteArray notes = Bytes({0x90, 60, 100, 0x80, 60, 0});
  const QByteArray dump = Dump(128, 8192, 11);  // 1 MiB
  QElapsedTimer timer;
  timer.start();
  std::thread sender(
      [&] { peer.Send(notes + dump, [&](int64_t sent) { return sent - taken <= 32 * 1024; }); });
  const bool all = WaitFor([&] { return sysex.size() >= dump.size(); }, 60000);
  sender.join();
  ASSERT_TRUE(all) << sysex.size() << " of " << dump.size() << " bytes";
  PrintSpeed("ALSA, 1 MiB dump in 256-byte events recorded by the input port", dump.size(),
             double(timer.nsecsElapsed()) / 1e9);
  EXPECT_EQ(shorts, notes);
  ExpectSameBytes(sysex, dump);
  EXPECT_EQ(overflows, 0);
}

// The device lists follow the sequencer: a program that comes or goes is announced at once.
TEST(AlsaDevices, AProgramThatComesAndGoesIsAnnouncedAndListed) {
  const auto backend = CreateMidiBackend("alsa");
  MidiWake wake;
  ASSERT_TRUE(backend->WatchDevices(&wake));
  TMidiOutput output(*backend);
  const auto announced = [&wake] {
    pollfd fd{wake.Fd(), POLLIN, 0};
    const bool signalled = poll(&fd, 1, 2000) == 1;
    wake.Drain();
    return signalled;
  };
  output.DeviceNames();
  wake.Drain();
  auto late = std::make_unique<AlsaPeer>("late-synth");
  ASSERT_TRUE(late->Ok());
  EXPECT_TRUE(announced());
  EXPECT_TRUE(output.DeviceNames().contains(late->DeviceName()));
  late.reset();
  EXPECT_TRUE(announced());
  EXPECT_FALSE(output.DeviceNames().contains("late-synth:port"));
}

// A sequencer that will not announce its changes leaves the lists to a look every two seconds.
TEST(AlsaDevices, WithoutAnnouncementsAProgramThatComesIsFoundByTheNextLook) {
  refuseAnnouncements = true;
  const auto backend = CreateMidiBackend("alsa");
  TDeviceWatch watch(*backend, nullptr);
  refuseAnnouncements = false;
  TMidiOutput output(*backend);
  bool listed = false;
  watch.OnChange = [&] { listed = output.DeviceNames().contains("late-synth:port"); };
  Settle();  // the client opened for the watch brings the lists' first look
  const AlsaPeer late("late-synth");
  ASSERT_TRUE(late.Ok());
  EXPECT_TRUE(WaitFor([&] { return listed; }, 2 * TDeviceWatch::kLookIntervalMs + 1000));
}

}  // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);  // no GUI: Qt's start costs seconds on the test machine
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
