// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <utility>

#include "LoopbackBackend.h"
#include "MidiBackends.h"
#include "MidiOut.h"
#include "PortTestSupport.h"

namespace {

const QString kOut1 = QStringLiteral("Loopback Out 1");
const QString kOut2 = QStringLiteral("Loopback Out 2");

class OutputPort : public ::testing::Test {
 protected:
  QString Raised(const std::function<void()> &action) {
    return RaisedText<EmidioutputError>(action);
  }
  void OpenOn(int id) {
    port.SetDeviceID(id);
    ASSERT_TRUE(port.OpenPort());
  }
  void CountCompletions() {
    port.Onmidioutput = [this](QObject *sender) {
      EXPECT_EQ(sender, &port);
      ++completions;
    };
  }

  LoopbackBackend backend;
  TMidiOutput port{backend};
  int completions = 0;
};

TEST_F(OutputPort, StartsClosedOnDeviceZeroWithoutAName) {
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.DeviceID(), 0);
  EXPECT_EQ(port.ProductName(), QString());
  EXPECT_EQ(port.DeviceCount(), 3);
}

TEST_F(OutputPort, DeviceNumbersSelectDevicesAndBadOnesKeepTheirRules) {
  port.SetDeviceID(1);
  EXPECT_EQ(port.ProductName(), kOut2);
  EXPECT_EQ(Raised([&] { port.SetDeviceID(3); }), "Invalid device ID");
  EXPECT_EQ(port.DeviceID(), 1);

  port.SetDeviceID(-1);  // the mapper slot is our virtual port
  EXPECT_EQ(port.ProductName(), "Kelvane");
  EXPECT_EQ(port.Technology(), TMidiOutput::modMapper);

  port.SetDeviceID(0);
  // Other negative numbers pass the count check and fail with the service's text; the number
  // stays stored and the name stays that of the previous device.
  EXPECT_EQ(Raised([&] { port.SetDeviceID(-2); }), port.ErrorText(mrBadDeviceId));
  EXPECT_EQ(port.DeviceID(), -2);
  EXPECT_EQ(port.ProductName(), kOut1);
  EXPECT_EQ(port.LastError(), mrBadDeviceId);
}

TEST_F(OutputPort, ChangesWhileOpenAreRefusedBeforeAnyOtherCheck) {
  OpenOn(0);
  EXPECT_EQ(Raised([&] { port.SetDeviceID(99); }), "Change to DeviceID while device was open");
  EXPECT_EQ(Raised([&] { port.SetProductName("nobody"); }),
            "Change to ProductName while device was open");
  EXPECT_EQ(port.DeviceID(), 0);
}

TEST_F(OutputPort, ProductNamesMatchExactlyWithTheMapperFirst) {
  port.SetProductName(kOut2);
  EXPECT_EQ(port.DeviceID(), 1);
  port.SetProductName("Kelvane");
  EXPECT_EQ(port.DeviceID(), -1);
  EXPECT_EQ(Raised([&] { port.SetProductName("loopback out 1"); }),
            "MIDI output Device loopback out 1 not installed");

  // A service without a mapper still finds its devices by name; only -1 itself fails.
  backend.SetVirtualPort(false);
  port.SetProductName(kOut1);
  EXPECT_EQ(port.DeviceID(), 0);
  EXPECT_EQ(Raised([&] { port.SetDeviceID(-1); }), port.ErrorText(mrNotSupported));
}

TEST_F(OutputPort, OpenFailsQuietlyAndCloseReportsWhetherItClosed) {
  backend.SetRefuseOpen(kOut2, true);
  port.SetDeviceID(1);
  EXPECT_FALSE(port.OpenPort());
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.LastError(), mrAllocated);
  EXPECT_FALSE(port.ClosePort());

  OpenOn(0);
  EXPECT_TRUE(port.ClosePort());
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(port.ClosePort());
  EXPECT_EQ(port.ErrorText(9999), "Specified error number is out of range");
}

TEST_F(OutputPort, ShortMessagesLeaveAtOnceWithSevenBitData) {
  OpenOn(0);
  port.WriteShortMessage(0x90, 60, 100);
  port.WriteShortMessage(0xC3, 5, 0);      // program change: two bytes on the wire
  port.WriteShortMessage(0xB0, 200, 255);  // data bytes never reach 128
  const auto sent = backend.Sent(kOut1);
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0], Bytes({0x90, 60, 100}));
  EXPECT_EQ(sent[1], Bytes({0xC3, 5}));
  EXPECT_EQ(sent[2], Bytes({0xB0, 200 & 0x7F, 0x7F}));
  EXPECT_EQ(Raised([&] { port.WriteShortMessage(0x40, 1, 2); }), port.ErrorText(mrInvalidParam));
}

TEST_F(OutputPort, ClosedPortSendsNothing) {
  const int calls = backend.CallCount();
  EXPECT_EQ(Raised([&] { port.WriteEvent(TMyMidiEvent{}); }), "MIDI Output device not open");
  EXPECT_EQ(backend.CallCount(), calls);  // refused before any call into the service
  EXPECT_EQ(Raised([&] { port.WriteShortMessage(0x90, 1, 1); }), port.ErrorText(mrInvalidHandle));
  const QByteArray block = Bytes({0xF0, 1, 0xF7});
  EXPECT_EQ(Raised([&] { port.WriteSysEx(Data(block), block.size()); }),
            port.ErrorText(mrInvalidHandle));
  EXPECT_EQ(backend.CallCount(), calls);
}

TEST_F(OutputPort, EverySysExBlockCompletesOnceAndInOrder) {
  CountCompletions();
  OpenOn(0);
  const QByteArray first = Bytes({0xF0, 0x41, 1, 0xF7});
  const QByteArray second = Bytes({0xF0, 0x41, 2, 0xF7});
  port.WriteSysEx(Data(first), first.size());
  port.WriteSysEx(Data(second), second.size());
  port.WriteSysEx(nullptr, 0);  // nothing to send, nothing fires
  ASSERT_TRUE(WaitFor([&] { return completions == 2; }));
  Settle();
  EXPECT_EQ(completions, 2);
  EXPECT_EQ(backend.SentBytes(kOut1), first + second);

  TMyMidiEvent event;
  event.SysExByteCount = 3;
  event.SysExBytes.reset(new uint8_t[3]{0xF0, 9, 0xF7});
  port.WriteEvent(event);
  ASSERT_TRUE(WaitFor([&] { return completions == 3; }));
  EXPECT_EQ(backend.Sent(kOut1).back(), Bytes({0xF0, 9, 0xF7}));
}

TEST_F(OutputPort, SysExGoesInPiecesAndShortMessagesWaitOnlyForTheMessageInFlight) {
  backend.SetPacing({5, std::chrono::milliseconds(30)});
  CountCompletions();
  OpenOn(0);
  const QByteArray block = Bytes({0xF0, 1, 2, 3, 4, 5, 6, 0xF7, 0xF0, 7, 0xF7});
  port.WriteSysEx(Data(block), block.size());
  ASSERT_TRUE(WaitFor([&] { return backend.Sent(kOut1).size() == 1; }));
  port.WriteShortMessage(0x80, 60, 0);  // inside the first message: goes right after it
  ASSERT_TRUE(WaitFor([&] { return completions == 1; }));
  const auto sent = backend.Sent(kOut1);
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[0], Bytes({0xF0, 1, 2, 3, 4}));
  EXPECT_EQ(sent[1], Bytes({5, 6, 0xF7}));
  EXPECT_EQ(sent[2], Bytes({0x80, 60, 0}));
  EXPECT_EQ(sent[3], Bytes({0xF0, 7, 0xF7}));
  EXPECT_EQ(port.LastError(), mrOk);
  EXPECT_EQ(port.SysExPending(), 0u);
}

TEST_F(OutputPort, ShortMessagesGoOutBetweenPiecesSmallerThanThemselves) {
  backend.SetPacing({2, std::chrono::microseconds(0)});
  CountCompletions();
  OpenOn(0);
  const QByteArray block = Bytes({0xF0, 1, 2, 3, 4, 5, 0xF7, 0xF0, 6, 0xF7});
  port.WriteShortMessage(0xB0, 123, 0);
  port.WriteSysEx(Data(block), block.size());
  port.WriteShortMessage(0x90, 60, 64);
  port.WriteSysEx(Data(block), block.size());
  port.WriteShortMessage(0x80, 60, 0);
  ASSERT_TRUE(WaitFor([&] { return completions == 2; }))
      << backend.SentBytes(kOut1).toHex(' ').toStdString();
  Settle();
  EXPECT_EQ(backend.SentBytes(kOut1).size(), 2 * block.size() + 9);
}

TEST_F(OutputPort, ABlockThatEndsInsideAMessageIsClosedWithF7) {
  CountCompletions();
  OpenOn(0);
  const QByteArray cutShort = Bytes({0xF0, 0x41, 0x10, 0x42});
  port.WriteSysEx(Data(cutShort), cutShort.size());
  ASSERT_TRUE(WaitFor([&] { return completions == 1; }));
  port.WriteShortMessage(0x90, 60, 100);
  EXPECT_EQ(backend.SentBytes(kOut1), Bytes({0xF0, 0x41, 0x10, 0x42, 0xF7, 0x90, 60, 100}));
}

TEST_F(OutputPort, CancelEndsTheMessageInFlightDropsTheRestAndLetsShortMessagesThrough) {
  backend.SetPacing({4, std::chrono::milliseconds(20)});
  CountCompletions();
  OpenOn(0);
  const QByteArray block = Bytes({0xF0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0xF7, 0xF0, 1, 0xF7});
  port.WriteSysEx(Data(block), block.size());
  port.WriteSysEx(Data(block), block.size());
  ASSERT_TRUE(WaitFor([&] { return !backend.Sent(kOut1).empty(); }));
  EXPECT_EQ(port.SysExPending(), 2u);
  EXPECT_TRUE(port.CancelSysEx());
  port.WriteShortMessage(0xB0, 120, 0);
  ASSERT_TRUE(WaitFor([&] { return port.SysExPending() == 0; }));
  const auto sent = backend.Sent(kOut1);
  ASSERT_GE(sent.size(), 3u);
  EXPECT_EQ(sent[sent.size() - 2], Bytes({0xF7}));  // the receiver is not left inside it
  EXPECT_EQ(sent.back(), Bytes({0xB0, 120, 0}));
  Settle();
  EXPECT_EQ(backend.Sent(kOut1).size(), sent.size());  // nothing of either block follows
  EXPECT_EQ(completions, 0);
  EXPECT_FALSE(port.CancelSysEx());  // nothing left to cancel
}

// A wire that takes everything, on which the GUI thread acts once, at the moment a test picks:
// just after the first write, or when the pump first asks whether a short message fits.
struct ActingWire : MidiWire {
  size_t Room() override { return 256; }
  bool FitsShort(size_t) override {
    Act(beforeShort);
    return true;
  }
  uint16_t Write(const uint8_t *bytes, size_t length) override {
    written.append(reinterpret_cast<const char *>(bytes), static_cast<qsizetype>(length));
    Act(afterWrite);
    return mrOk;
  }
  static void Act(std::function<void()> &action) {
    if (action) std::exchange(action, nullptr)();
  }

  QByteArray written;
  std::function<void()> afterWrite, beforeShort;
};

std::vector<uint8_t> Vector(const QByteArray &bytes) {
  return {bytes.begin(), bytes.end()};
}

// The GUI thread cancels a transfer and queues a Panic while the pump is busy with it: the pump,
// which may find the Panic at once, sends nothing that was cancelled after it.
TEST(OutputQueue, NothingCancelledFollowsAPanicQueuedBehindTheCancel) {
  const QByteArray first = Bytes({0xF0, 1, 2, 0xF7}), second = Bytes({0xF0, 3, 4, 0xF7});
  const QByteArray note = Bytes({0x90, 60, 1}), panic = Bytes({0xB0, 120, 0});
  for (const bool whileANoteLeaves : {false, true}) {
    SCOPED_TRACE(whileANoteLeaves ? "while a note leaves" : "between two messages");
    MidiOutQueue queue;
    ActingWire wire;
    if (whileANoteLeaves) {
      ASSERT_TRUE(queue.PushShort(0x013C90));
    }
    ASSERT_TRUE(queue.PushBlock(Vector(first)));
    ASSERT_TRUE(queue.PushBlock(Vector(second)));
    (whileANoteLeaves ? wire.beforeShort : wire.afterWrite) = [&] {
      queue.Cancel();
      EXPECT_TRUE(queue.PushShort(0x0078B0));
    };
    queue.Pump(wire);
    const QByteArray expected = (whileANoteLeaves ? note : first) + panic;
    EXPECT_EQ(wire.written.toHex(' ').toStdString(), expected.toHex(' ').toStdString());
    EXPECT_TRUE(queue.Idle());
  }
}

// A wire paced for a cable: pieces of four bytes while the pace allows, short messages always;
// it may refuse everything, as a device that went does.
struct PacedWire : MidiWire {
  size_t Room() override { return piecesAllowed > 0 ? 4 : 0; }
  bool FitsShort(size_t) override { return true; }
  uint16_t Write(const uint8_t *bytes, size_t length) override {
    if (refusal) return refusal;
    written.append(reinterpret_cast<const char *>(bytes), static_cast<qsizetype>(length));
    --piecesAllowed;
    return mrOk;
  }
  int piecesAllowed = 1;
  uint16_t refusal = mrOk;
  QByteArray written;
};

// A cancel's F7 goes like a short message, whatever the pace; when the service refuses it the
// GUI thread hears of it, for the receiver may be left inside the message.
TEST(OutputQueue, TheF7OfACancelIsNeverHeldByPacingAndItsRefusalIsReported) {
  const QByteArray message = Bytes({0xF0, 1, 2, 3, 4, 5, 6, 0xF7});
  for (const uint16_t refusal : {uint16_t{mrOk}, uint16_t{mrDeviceGone}}) {
    SCOPED_TRACE(refusal ? "refused" : "taken");
    MidiOutQueue queue;
    PacedWire wire;
    ASSERT_TRUE(queue.PushBlock(Vector(message)));
    queue.Pump(wire);  // the first piece; then the pace holds the rest
    queue.Pump(wire);
    EXPECT_EQ(wire.written, message.left(4));
    queue.Cancel();
    wire.refusal = refusal;
    queue.Pump(wire);
    EXPECT_EQ(wire.written, refusal ? message.left(4) : message.left(4) + Bytes({0xF7}));
    EXPECT_TRUE(queue.Idle());
    MidiOutQueue::Finished finished;
    ASSERT_TRUE(queue.TakeFinished(finished));
    if (refusal) {
      EXPECT_FALSE(finished.sysex);
      EXPECT_EQ(finished.result, refusal);
      ASSERT_TRUE(queue.TakeFinished(finished));
    }
    EXPECT_TRUE(finished.sysex);
    EXPECT_EQ(finished.result, kTransferCancelled);
    EXPECT_FALSE(queue.TakeFinished(finished));
  }
}

TEST_F(OutputPort, LongBlocksOfAnyLengthArriveWhole) {
  backend.SetPacing({4096, std::chrono::microseconds(0)});
  CountCompletions();
  OpenOn(0);
  QByteArray block(200000, 0);
  block[0] = char(0xF0);
  for (int i = 1; i < block.size() - 1; ++i) block[i] = char(i % 128);
  block[block.size() - 1] = char(0xF7);
  port.WriteSysEx(Data(block), block.size());
  ASSERT_TRUE(WaitFor([&] { return completions == 1; }));
  EXPECT_EQ(backend.SentBytes(kOut1), block);
  EXPECT_EQ(backend.Sent(kOut1).size(), 49u);  // ceil(200000 / 4096)
}

TEST_F(OutputPort, ClosingCancelsTheBlockInFlightEndsItAndFiresNothing) {
  backend.SetPacing({4, std::chrono::milliseconds(20)});
  CountCompletions();
  OpenOn(0);
  const QByteArray block = Bytes({0xF0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0xF7});
  port.WriteSysEx(Data(block), block.size());
  ASSERT_TRUE(WaitFor([&] { return !backend.Sent(kOut1).empty(); }));
  EXPECT_TRUE(port.ClosePort());
  const auto sent = backend.Sent(kOut1);
  EXPECT_EQ(sent.back(), Bytes({0xF7}));  // the receiver is not left inside the message
  EXPECT_LT(sent.size(), 5u);
  ASSERT_TRUE(port.OpenPort());
  Settle();
  EXPECT_EQ(completions, 0);
}

TEST_F(OutputPort, DeadServiceRaisesAtOnceAndATransferItCutsShortIsReportedWhenItFails) {
  backend.SetPacing({4, std::chrono::milliseconds(20)});
  CountCompletions();
  OpenOn(0);
  const QByteArray block = Bytes({0xF0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0xF7});
  port.WriteSysEx(Data(block), block.size());
  ASSERT_TRUE(WaitFor([&] { return !backend.Sent(kOut1).empty(); }));
  backend.SetServerAlive(false);
  ASSERT_TRUE(WaitFor([&] { return completions == 1; }));  // the failure fires the event ...
  EXPECT_EQ(port.LastError(), mrServerGone);               // ... with the service's code
  EXPECT_EQ(Raised([&] { port.WriteShortMessage(0x90, 1, 1); }),
            "The loopback MIDI service has stopped");
  EXPECT_EQ(Raised([&] { port.WriteSysEx(Data(block), block.size()); }),
            "The loopback MIDI service has stopped");
  EXPECT_TRUE(port.ClosePort());
  EXPECT_FALSE(port.OpenPort());

  backend.SetServerAlive(true);
  ASSERT_TRUE(port.OpenPort());
  port.WriteShortMessage(0x90, 2, 2);
  EXPECT_EQ(backend.Sent(kOut1).back(), Bytes({0x90, 2, 2}));
  Settle();
  EXPECT_EQ(completions, 1);
}

TEST_F(OutputPort, VanishedDeviceRaisesOnSend) {
  OpenOn(1);
  backend.RemoveDevice(kOut2);
  EXPECT_EQ(Raised([&] { port.WriteShortMessage(0x90, 1, 1); }), port.ErrorText(mrDeviceGone));
  EXPECT_TRUE(port.ClosePort());
}

}  // namespace

namespace {

TEST(BackendChoice, WithoutAWorkingServiceThereIsABackendWithoutDevices) {
  qputenv("JACK_DEFAULT_SERVER", QByteArray("kelvane-nobody-") + QByteArray::number(getpid()));
  qputenv("JACK_NO_START_SERVER", "1");
  auto backend = CreateMidiBackend("");  // no JACK server of that name, no ALSA sequencer here
  ASSERT_TRUE(backend);
  // The first service waits, so that a server started later is found; the others said why not.
  EXPECT_EQ(backend->Api(), MidiBackendApis().first());
  EXPECT_FALSE(backend->Answers());
  EXPECT_TRUE(backend->TriedServices().contains("ALSA sequencer: no sequencer here (/dev/snd/seq)"))
      << backend->TriedServices().join('|').toStdString();
  TMidiOutput output(*backend);
  EXPECT_EQ(output.DeviceCount(), 0);
  EXPECT_FALSE(output.OpenPort());
  EXPECT_EQ(CreateMidiBackend("no such api")->Api(), "none");
  EXPECT_EQ(CreateMidiBackend("loopback")->Api(), "loopback");
  EXPECT_TRUE(MidiBackendApis().contains("loopback"));
  EXPECT_TRUE(MidiBackendApis().contains("jack"));
}

}  // namespace
