// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "LoopbackBackend.h"
#include "MidiIn.h"
#include "PortTestSupport.h"

namespace {

const QString kIn1 = QStringLiteral("Loopback In 1");

// Collects what the port delivers: SysEx bytes joined, short messages packed, one entry per
// event in `events`.
struct Collector {
  explicit Collector(TMidiInput &port) : port(port) {
    port.OnMidiInput = [this](QObject *) {
      ++notices;
      while (auto event = this->port.ReadEvent()) Take(*event);
    };
    port.OnOverflow = [this](QObject *) { ++overflows; };
  }
  void Take(const TMyMidiEvent &event) {
    if (event.StatusByte == 0xF0) {
      QByteArray bytes(reinterpret_cast<const char *>(event.SysExBytes.get()),
                       static_cast<qsizetype>(event.SysExByteCount));
      sysex += bytes;
      events.push_back(bytes);
    } else {
      events.push_back(Bytes({event.StatusByte, event.DataByte1, event.DataByte2}));
    }
    consumed.fetch_add(static_cast<int64_t>(event.SysExByteCount ? event.SysExByteCount : 3));
  }

  TMidiInput &port;
  int notices = 0;
  int overflows = 0;
  QByteArray sysex;
  std::vector<QByteArray> events;
  std::atomic<int64_t> consumed{0};
};

class InputPort : public ::testing::Test {
 protected:
  QString Raised(const std::function<void()> &action) {
    return RaisedText<EMidiInputError>(action);
  }
  void Open() {
    port.OpenPort();
    ASSERT_TRUE(port.IsOpen());
    port.StartInput();
  }
  void Inject(const QByteArray &bytes) { ASSERT_TRUE(backend.Inject(kIn1, bytes)); }

  LoopbackBackend backend;
  TMidiInput port{backend};
};

TEST_F(InputPort, StartsClosedOnDeviceZeroWithItsDefaults) {
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.DeviceID(), 0);
  EXPECT_EQ(port.ProductName(), kIn1);
  EXPECT_EQ(port.DeviceCount(), 2);
  EXPECT_EQ(port.Capacity(), 1024u);
  EXPECT_EQ(port.SysexBufferSize(), 4096u);
  EXPECT_EQ(port.SysexBufferCount(), 16);
  EXPECT_FALSE(port.SysexOnly());
  EXPECT_EQ(port.PendingCount(), 0u);
  EXPECT_EQ(port.ReadEvent(), nullptr);
}

TEST(InputPortWithoutDevices, IsConstructedClosedAndDescribingNothing) {
  LoopbackBackend backend({QStringLiteral("Out")}, {});
  TMidiInput port(backend);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.DeviceCount(), 0);
  EXPECT_EQ(port.ProductName(), QString());
  EXPECT_EQ(RaisedText<EMidiInputError>([&] { port.SetDeviceID(0); }), "Invalid device ID");
  EXPECT_EQ(RaisedText<EMidiInputError>([&] { port.SetProductName("Any"); }),
            port.ErrorText(mrBadDeviceId));
  port.OpenPort();
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.Error(), mrBadDeviceId);
}

TEST_F(InputPort, SelectionRulesAndTexts) {
  port.SetProductName("Loopback In 2");
  EXPECT_EQ(port.DeviceID(), 1);
  EXPECT_EQ(Raised([&] { port.SetDeviceID(2); }), "Invalid device ID");
  EXPECT_EQ(Raised([&] { port.SetProductName("loopback in 1"); }),
            "MIDI Input Device loopback in 1 not installed ");
  port.SetDeviceID(0);
  Open();
  EXPECT_EQ(Raised([&] { port.SetDeviceID(7); }), "Change to DeviceID while device was open");
  EXPECT_EQ(Raised([&] { port.SetProductName(kIn1); }),
            "Change to ProductName while device was open");
  EXPECT_EQ(Raised([&] { port.SetSysexBufferSize(1); }),
            "Change to SysexBufferSize while device was open");
  EXPECT_EQ(Raised([&] { port.SetSysexBufferCount(1); }),
            "Change to SysexBuffercount while device was open");
  EXPECT_EQ(port.ErrorText(4242), "Specified error number is out of range");
}

TEST_F(InputPort, RefusingDeviceLeavesThePortClosed) {
  backend.SetRefuseOpen(kIn1, true);
  port.OpenPort();
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.Error(), mrAllocated);
  EXPECT_FALSE(backend.Inject(kIn1, Bytes({0x90, 1, 1})));
}

TEST_F(InputPort, ShortMessagesArriveAfterStartWithoutClockOrSensing) {
  Collector collector(port);
  port.OpenPort();
  Inject(Bytes({0x90, 60, 100}));  // before StartInput: not delivered
  port.StartInput();
  Inject(Bytes({0xFE}));
  Inject(Bytes({0xF8}));
  Inject(Bytes({0xB1, 7, 99}));
  Inject(Bytes({0xB0, 0x30, 0x8F}));  // a data byte of 128 or more: no message
  Inject(Bytes({0xFA}));              // other real-time messages pass
  ASSERT_TRUE(WaitFor([&] { return collector.events.size() == 2; }));
  Settle();
  ASSERT_EQ(collector.events.size(), 2u);
  EXPECT_EQ(collector.events[0], Bytes({0xB1, 7, 99}));
  EXPECT_EQ(collector.events[1], Bytes({0xFA, 0, 0}));
  EXPECT_EQ(collector.overflows, 0);
}

TEST_F(InputPort, SysexOnlyDropsShortMessagesAtOnceButKeepsSysEx) {
  Collector collector(port);
  Open();
  port.SetSysexOnly(true);
  Inject(Bytes({0x90, 60, 100}));
  Inject(Bytes({0xF0, 1, 2, 0xF7}));
  ASSERT_TRUE(WaitFor([&] { return collector.events.size() == 1; }));
  Settle();
  EXPECT_EQ(collector.events.size(), 1u);
  EXPECT_EQ(collector.sysex, Bytes({0xF0, 1, 2, 0xF7}));
}

TEST_F(InputPort, LongSysExFillsSeveralBuffersInOrderAcrossPieces) {
  port.SetSysexBufferSize(8);
  port.SetSysexBufferCount(4);
  Collector collector(port);
  Open();
  QByteArray message = Bytes({0xF0});
  for (int i = 0; i < 18; ++i) message.append(char(i));
  message.append(char(0xF7));         // 20 bytes
  Inject(message.left(11));           // a piece of the message ...
  Inject(message.mid(11));            // ... and the rest
  Inject(Bytes({0xF0, 0x55, 0xF7}));  // the next message gets its own buffer
  ASSERT_TRUE(WaitFor([&] { return collector.events.size() == 4; }));
  EXPECT_EQ(collector.events[0], message.left(8));
  EXPECT_EQ(collector.events[1], message.mid(8, 8));
  EXPECT_EQ(collector.events[2], message.mid(16));
  EXPECT_EQ(collector.events[3], Bytes({0xF0, 0x55, 0xF7}));
  EXPECT_EQ(collector.overflows, 0);
}

TEST_F(InputPort, RunningOutOfBuffersIsReportedAndReadingGivesThemBack) {
  port.SetSysexBufferSize(4);
  port.SetSysexBufferCount(2);
  int overflows = 0;
  port.OnOverflow = [&](QObject *) { ++overflows; };
  Open();
  Inject(Bytes({0xF0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0xF7}));  // needs three buffers
  ASSERT_TRUE(WaitFor([&] { return overflows == 1; }));
  EXPECT_EQ(port.PendingCount(), 2u);
  auto first = port.ReadEvent();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->SysExByteCount, 4u);
  EXPECT_EQ(first->StatusByte, 0xF0);
  port.ReadEvent();
  Inject(Bytes({0xF0, 0x33, 0xF7}));
  ASSERT_TRUE(WaitFor([&] { return port.PendingCount() == 1; }));
  EXPECT_EQ(port.ReadEvent()->SysExBytes[1], 0x33);
}

TEST_F(InputPort, FullRingLosesTheNewEventAndSaysSo) {
  port.SetCapacity(2);
  int overflows = 0;
  port.OnOverflow = [&](QObject *) { ++overflows; };
  Open();
  for (int note = 1; note <= 3; ++note) Inject(Bytes({0x90, note, 1}));
  ASSERT_TRUE(WaitFor([&] { return overflows == 1; }));
  EXPECT_EQ(port.PendingCount(), 2u);
  EXPECT_EQ(port.ReadEvent()->DataByte1, 1);
  EXPECT_EQ(port.ReadEvent()->DataByte1, 2);
  EXPECT_EQ(port.ReadEvent(), nullptr);
}

TEST_F(InputPort, FullRingLosesTheNewSysExAndSaysSoWithBuffersToSpare) {
  port.SetCapacity(2);
  port.SetSysexBufferCount(8);  // buffers enough: only the ring runs out
  int overflows = 0;
  port.OnOverflow = [&](QObject *) { ++overflows; };
  Open();
  for (int n = 1; n <= 3; ++n) Inject(Bytes({0xF0, n, 0xF7}));
  ASSERT_TRUE(WaitFor([&] { return overflows == 1; }));
  EXPECT_EQ(port.PendingCount(), 2u);
  EXPECT_EQ(port.ReadEvent()->SysExBytes[1], 1);
  EXPECT_EQ(port.ReadEvent()->SysExBytes[1], 2);
  // The buffer of the lost message was kept: the next one arrives whole.
  Inject(Bytes({0xF0, 4, 0xF7}));
  ASSERT_TRUE(WaitFor([&] { return port.PendingCount() == 1; }));
  const auto next = port.ReadEvent();
  EXPECT_EQ(next->SysExByteCount, 3u);
  EXPECT_EQ(next->SysExBytes[1], 4);
}

TEST_F(InputPort, CapacityZeroMakesEveryEventAnOverflow) {
  port.SetCapacity(0);
  Collector collector(port);
  Open();
  Inject(Bytes({0x90, 1, 1}));
  Inject(Bytes({0xF0, 1, 0xF7}));
  ASSERT_TRUE(WaitFor([&] { return collector.overflows >= 1; }));
  Settle();
  EXPECT_EQ(collector.notices, 0);
  EXPECT_EQ(port.PendingCount(), 0u);
}

TEST_F(InputPort, NoticesStillQueuedAtCloseFireNothing) {
  Collector collector(port);
  port.SetCapacity(1);
  Open();
  Inject(Bytes({0x90, 1, 1}));
  Inject(Bytes({0x90, 2, 1}));  // overflows
  port.ClosePort();             // before the GUI loop saw the notices
  EXPECT_EQ(port.PendingCount(), 0u);
  EXPECT_EQ(port.ReadEvent(), nullptr);
  Settle();
  EXPECT_EQ(collector.notices, 0);
  EXPECT_EQ(collector.overflows, 0);
  EXPECT_FALSE(backend.Inject(kIn1, Bytes({0x90, 3, 1})));

  Open();  // and the port works again afterwards
  Inject(Bytes({0x90, 4, 1}));
  ASSERT_TRUE(WaitFor([&] { return collector.events.size() == 1; }));
}

// A real second thread plays the driver: a SysEx dump in pieces of varying size with short
// messages between the messages. Every byte arrives in order, nothing overflows.
TEST_F(InputPort, DumpFromAnotherThreadArrivesWhole) {
  port.SetSysexBufferSize(512);
  port.SetSysexBufferCount(32);
  port.SetCapacity(256);
  Collector collector(port);
  Open();

  QByteArray expectedSysEx;
  std::vector<QByteArray> pieces;
  int shortMessages = 0;
  for (int message = 0; message < 400; ++message) {
    QByteArray bytes = Bytes({0xF0});
    const int length = 1 + (message * 37) % 3000;
    for (int i = 0; i < length; ++i) bytes.append(char((message + i) % 128));
    bytes.append(char(0xF7));
    expectedSysEx += bytes;
    for (int pos = 0; pos < bytes.size();) {
      const int piece = 1 + (pos * 13 + message) % 700;
      pieces.push_back(bytes.mid(pos, piece));
      pos += piece;
    }
    if (message % 10 == 0) {
      pieces.push_back(Bytes({0xE0, message % 128, 64}));
      ++shortMessages;
    }
  }
  int64_t total = 0;
  for (const QByteArray &piece : pieces)
    total += piece.size() == 3 && uint8_t(piece[0]) == 0xE0 ? 3 : piece.size();

  std::thread driver([&] {
    int64_t sent = 0;
    for (const QByteArray &piece : pieces) {
      // Stay within what the receive buffers hold until the GUI thread has read it.
      while (sent - collector.consumed.load() > 8 * 512) std::this_thread::yield();
      backend.Inject(kIn1, piece);
      sent += piece.size();
    }
  });
  const bool done = WaitFor([&] { return collector.consumed.load() >= total; }, 30000);
  driver.join();
  ASSERT_TRUE(done);
  EXPECT_EQ(collector.sysex, expectedSysEx);
  EXPECT_EQ(collector.overflows, 0);
  int shorts = 0;
  for (const QByteArray &event : collector.events) shorts += uint8_t(event[0]) == 0xE0;
  EXPECT_EQ(shorts, shortMessages);
}

}  // namespace
