// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// What the ALSA sequencer backend relies on, checked on a real sequencer (the test machine of
// tools/alsa-vm.sh: snd-seq-dummy's "Midi Through" and snd-virmidi's virtual raw ports).
// Transfers print their speed; none is asserted.
#include <alsa/asoundlib.h>
#include <gtest/gtest.h>
#include <poll.h>

#include <QByteArray>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "SameBytes.h"
#include "SysExBytes.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The largest SysEx piece in one sequencer event: what the kernel's own raw MIDI bridge uses,
// small enough for any receiver's input pool.
constexpr long kPiece = 256;
// The most input cells the kernel grants one client; each holds 28 bytes of an event's data.
constexpr int kInputPool = 2000;
// Bytes in flight between a sender and its receiver: well below what the receiver can hold
// (2000 cells are about 44 KiB of SysEx data, a virtual raw port's buffer is 4 KiB).
constexpr long kSequencerWindow = 16 * 1024;
constexpr long kRawWindow = 2 * 1024;
constexpr auto kPatience = 10s;

void Check(int result, const char *what) {
  if (result < 0) throw std::runtime_error(std::string(what) + ": " + snd_strerror(result));
}

std::string AddressName(const snd_seq_addr_t &a) {
  return std::to_string(a.client) + ":" + std::to_string(a.port);
}

void PrintSpeed(const char *what, long bytes, Clock::duration took) {
  const double seconds = std::chrono::duration<double>(took).count();
  std::printf("[ speed    ] %s: %ld bytes in %.3f s, %.0f KiB/s\n", what, bytes, seconds,
              double(bytes) / 1024.0 / seconds);
  std::fflush(stdout);
}

// Bytes that arrive on another thread, with a count a paced sender waits on.
class Arrivals {
 public:
  void Add(const char *data, long length) {
    std::lock_guard lock(mutex_);
    bytes_.append(data, length);
    changed_.notify_all();
  }
  long Count() {
    std::lock_guard lock(mutex_);
    return bytes_.size();
  }
  // Waits until no more than `window` of `sent` bytes are still on their way.
  bool WaitForRoom(long sent, long window) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kPatience, [&] { return sent - bytes_.size() <= window; });
  }
  QByteArray Bytes() {
    std::lock_guard lock(mutex_);
    return bytes_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  QByteArray bytes_;
};

// One sequencer client with one port, non-blocking, as the backend opens it.
class Client {
 public:
  explicit Client(const char *name) {
    Check(snd_seq_open(&seq_, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK), "open");
    snd_seq_set_client_name(seq_, name);
    port_ =
        snd_seq_create_simple_port(seq_, name,
                                   SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ |
                                       SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                   SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    Check(port_, "create port");
    Check(snd_seq_set_client_pool_input(seq_, kInputPool), "input pool");
    Check(snd_midi_event_new(kPiece, &encoder_), "encoder");
    Check(snd_midi_event_new(kPiece, &decoder_), "decoder");
    snd_midi_event_no_status(decoder_, 1);
  }
  ~Client() {
    StopReceiving();
    snd_midi_event_free(encoder_);
    snd_midi_event_free(decoder_);
    snd_seq_close(seq_);
  }
  Client(const Client &) = delete;
  Client &operator=(const Client &) = delete;

  snd_seq_t *Handle() { return seq_; }
  int Port() const { return port_; }
  snd_seq_addr_t Address() const {
    return {static_cast<unsigned char>(snd_seq_client_id(seq_)), static_cast<unsigned char>(port_)};
  }
  void ConnectTo(const snd_seq_addr_t &a) {
    Check(snd_seq_connect_to(seq_, port_, a.client, a.port), "connect to");
  }
  void ConnectFrom(const snd_seq_addr_t &a) {
    Check(snd_seq_connect_from(seq_, port_, a.client, a.port), "connect from");
  }

  // Sends MIDI bytes to the port's subscribers, SysEx in pieces of at most kPiece bytes. With a
  // receiver, waits until no more than `window` bytes are on their way before each event.
  void Send(const QByteArray &bytes, Arrivals *receiver = nullptr, long window = 0) {
    Encode(bytes, [&](snd_seq_event_t &event, long sent) {
      if (receiver && !receiver->WaitForRoom(sent, window))
        throw std::runtime_error("receiver stalled");
      snd_seq_ev_set_direct(&event);
      Output(event);
    });
  }

  // Calls `each` with every event the bytes make, SysEx in pieces of at most kPiece bytes, and
  // the count of bytes they hold so far. Each event starts cleared: the encoder fills in only
  // what it knows, and a flag left over (a priority bit reverses queued events of equal time)
  // must not pass on.
  template <typename Each>
  void Encode(const QByteArray &bytes, Each each) {
    snd_seq_event_t event;
    snd_seq_ev_clear(&event);
    long count = 0;
    for (char byte : bytes) {
      ++count;
      if (snd_midi_event_encode_byte(encoder_, static_cast<unsigned char>(byte), &event) != 1)
        continue;
      each(event, count);
      snd_seq_ev_clear(&event);
    }
  }

  // Writes one event; when the kernel has no room for it (EAGAIN), waits for room with poll.
  void Output(snd_seq_event_t &event) {
    snd_seq_ev_set_source(&event, port_);
    snd_seq_ev_set_subs(&event);
    const auto deadline = Clock::now() + kPatience;
    for (int tries = 0;; ++tries) {
      const int result = snd_seq_event_output_direct(seq_, &event);
      if (result >= 0) return;
      if (result != -EAGAIN) Check(result, "output");
      ++fullOutputs_;
      if (Clock::now() > deadline) throw std::runtime_error("no room for output");
      auto fds = Descriptors(POLLOUT);
      poll(fds.data(), fds.size(), 20);
      // A receiver's full input pool leaves our pool with room: poll returns at once then.
      if (tries > 0) std::this_thread::sleep_for(100us);
    }
  }

  // Collects what arrives, decoded to MIDI bytes, on a thread of its own.
  void StartReceiving() {
    receiving_ = true;
    receiver_ = std::thread([this] { ReceiveLoop(); });
  }
  void StopReceiving() {
    receiving_ = false;
    if (receiver_.joinable()) receiver_.join();
  }
  Arrivals &Received() { return arrivals_; }
  long LargestSysExEvent() const { return largestSysEx_; }
  int Overruns() const { return overruns_; }
  int FullOutputs() const { return fullOutputs_; }

  std::vector<pollfd> Descriptors(short events) {
    std::vector<pollfd> fds(snd_seq_poll_descriptors_count(seq_, events));
    snd_seq_poll_descriptors(seq_, fds.data(), fds.size(), events);
    return fds;
  }

 private:
  void ReceiveLoop() {
    auto fds = Descriptors(POLLIN);
    while (receiving_) {
      snd_seq_event_t *event = nullptr;
      const int result = snd_seq_event_input(seq_, &event);
      if (result == -EAGAIN) {
        poll(fds.data(), fds.size(), 20);
      } else if (result == -ENOSPC) {
        ++overruns_;
      } else if (result >= 0) {
        Decode(*event);
      }
    }
  }

  void Decode(const snd_seq_event_t &event) {
    if (event.type == SND_SEQ_EVENT_SYSEX) {
      largestSysEx_ = std::max<long>(largestSysEx_, event.data.ext.len);
      arrivals_.Add(static_cast<const char *>(event.data.ext.ptr), event.data.ext.len);
      return;
    }
    unsigned char bytes[16];
    const long length = snd_midi_event_decode(decoder_, bytes, sizeof bytes, &event);
    if (length > 0) arrivals_.Add(reinterpret_cast<const char *>(bytes), length);
  }

  snd_seq_t *seq_ = nullptr;
  int port_ = -1;
  snd_midi_event_t *encoder_ = nullptr;
  snd_midi_event_t *decoder_ = nullptr;
  std::atomic<bool> receiving_{false};
  std::thread receiver_;
  Arrivals arrivals_;
  std::atomic<long> largestSysEx_{0};
  std::atomic<int> overruns_{0};
  int fullOutputs_ = 0;
};

// The first port of another client whose name starts with `clientName`.
std::optional<snd_seq_addr_t> FindPort(snd_seq_t *seq, const std::string &clientName,
                                       unsigned caps) {
  snd_seq_client_info_t *client;
  snd_seq_port_info_t *port;
  snd_seq_client_info_alloca(&client);
  snd_seq_port_info_alloca(&port);
  snd_seq_client_info_set_client(client, -1);
  while (snd_seq_query_next_client(seq, client) >= 0) {
    if (std::string(snd_seq_client_info_get_name(client)).rfind(clientName, 0) != 0) continue;
    snd_seq_port_info_set_client(port, snd_seq_client_info_get_client(client));
    snd_seq_port_info_set_port(port, -1);
    while (snd_seq_query_next_port(seq, port) >= 0) {
      if ((snd_seq_port_info_get_capability(port) & caps) == caps)
        return *snd_seq_port_info_get_addr(port);
    }
  }
  return std::nullopt;
}

constexpr unsigned kReadWrite = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ |
                                SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;

void Put(QByteArray &bytes, std::initializer_list<int> values) {
  for (int value : values) bytes.append(char(value));
}

// Every kind of short message on varied channels, each with its status byte (no running status),
// a note on with velocity 0 among them, and system common and real-time messages.
QByteArray ShortMessages() {
  QByteArray bytes;
  for (int channel = 0; channel < 16; ++channel) {
    const int c = channel;
    Put(bytes, {0x90 | c, 60, 100});
    Put(bytes, {0xA0 | c, 60, 33});
    Put(bytes, {0xB0 | c, 7, 127 - channel});
    Put(bytes, {0xC0 | c, channel * 8});
    Put(bytes, {0xD0 | c, 64});
    Put(bytes, {0xE0 | c, 0x11, 0x40});
    Put(bytes, {0x90 | c, 60, 0});
    Put(bytes, {0x80 | c, 61, 64});
  }
  Put(bytes, {0xF2, 0x10, 0x02, 0xF3, 5, 0xF6});
  Put(bytes, {0xF8, 0xFA, 0xFB, 0xFC});
  return bytes;
}

// A dump of `messages` SysEx messages of `length` bytes with a Control Change after each.
QByteArray Dump(int messages, int length) {
  QByteArray bytes;
  for (int i = 0; i < messages; ++i) {
    bytes += SysExOfLength(length, i);
    Put(bytes, {0xB0 | (i % 16), 1, i % 128});
  }
  return bytes;
}

// The ports the test machine's modules create, as other programs see them.
TEST(SequencerPorts, MidiThroughAndTwoVirtualRawPortsAreThere) {
  Client client("kelvane-test");
  const auto through = FindPort(client.Handle(), "Midi Through", kReadWrite);
  ASSERT_TRUE(through);
  EXPECT_EQ(AddressName(*through), "14:0");
  const auto first = FindPort(client.Handle(), "Virtual Raw MIDI 0-0", kReadWrite);
  const auto second = FindPort(client.Handle(), "Virtual Raw MIDI 0-1", kReadWrite);
  ASSERT_TRUE(first && second);
  EXPECT_NE(first->client, second->client);
  // Our own port is there for others to connect to.
  EXPECT_TRUE(FindPort(client.Handle(), "kelvane-test", kReadWrite));
}

// A sender and a receiver client joined through "Midi Through".
class ThroughMidiThrough : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto through = FindPort(sender.Handle(), "Midi Through", kReadWrite);
    ASSERT_TRUE(through);
    sender.ConnectTo(*through);
    receiver.ConnectFrom(*through);
    receiver.StartReceiving();
  }
  QByteArray Transfer(const QByteArray &bytes, const char *what) {
    const auto start = Clock::now();
    sender.Send(bytes, &receiver.Received(), kSequencerWindow);
    EXPECT_TRUE(receiver.Received().WaitForRoom(bytes.size(), 0)) << "not everything arrived";
    PrintSpeed(what, bytes.size(), Clock::now() - start);
    receiver.StopReceiving();
    EXPECT_EQ(receiver.Overruns(), 0);
    return receiver.Received().Bytes();
  }
  Client sender{"kelvane-test out"};
  Client receiver{"kelvane-test in"};
};

TEST_F(ThroughMidiThrough, ShortMessagesArriveByteExact) {
  const QByteArray sent = ShortMessages();
  ExpectSameBytes(Transfer(sent, "short messages through Midi Through"), sent);
}

TEST_F(ThroughMidiThrough, DumpArrivesByteExactInPiecesOfAtMost256Bytes) {
  const QByteArray sent = Dump(128, 8 * 1024);
  ExpectSameBytes(Transfer(sent, "1 MiB dump of 8 KiB messages through Midi Through"), sent);
  EXPECT_EQ(receiver.LargestSysExEvent(), kPiece);
}

TEST_F(ThroughMidiThrough, OneMegabyteMessageArrivesByteExact) {
  const QByteArray sent = SysExOfLength(1024 * 1024, 7);
  ExpectSameBytes(Transfer(sent, "one 1 MiB message through Midi Through"), sent);
  EXPECT_EQ(receiver.LargestSysExEvent(), kPiece);
}

// Why output is paced: a receiver whose input pool fills refuses the next event (the sender
// sees EAGAIN) and then loses everything it held (its next read reports ENOSPC).
TEST(SequencerInputPool, AFullPoolRefusesAndThenDropsWhatItHeld) {
  Client sender("kelvane-test out");
  Client receiver("kelvane-test in");
  receiver.ConnectFrom(sender.Address());
  const QByteArray piece = SysExOfLength(kPiece, 1);
  snd_seq_event_t event;
  snd_seq_ev_clear(&event);
  snd_seq_ev_set_sysex(&event, piece.size(), const_cast<char *>(piece.data()));
  snd_seq_ev_set_source(&event, sender.Port());
  snd_seq_ev_set_subs(&event);
  snd_seq_ev_set_direct(&event);
  int accepted = 0;
  while (snd_seq_event_output_direct(sender.Handle(), &event) >= 0 && accepted < kInputPool)
    ++accepted;
  EXPECT_GT(accepted, 100);
  EXPECT_LT(accepted, kInputPool) << "the receiver's pool never filled";
  snd_seq_event_t *received = nullptr;
  EXPECT_EQ(snd_seq_event_input(receiver.Handle(), &received), -ENOSPC);
  EXPECT_EQ(snd_seq_event_input(receiver.Handle(), &received), -EAGAIN);
}

// Events scheduled a little ahead wait in the sender's output pool: a small pool fills, output
// reports EAGAIN, poll waits for the queue to deliver, and nothing is lost or reordered.
TEST(SequencerOutputPool, AFullPoolWaitsForRoomAndKeepsOrder) {
  Client sender("kelvane-test out");
  Client receiver("kelvane-test in");
  Check(snd_seq_set_client_pool_output(sender.Handle(), 64), "output pool");
  receiver.ConnectFrom(sender.Address());
  receiver.StartReceiving();
  const int queue = snd_seq_alloc_queue(sender.Handle());
  Check(queue, "queue");
  Check(snd_seq_start_queue(sender.Handle(), queue, nullptr), "start queue");
  Check(snd_seq_drain_output(sender.Handle()), "drain");

  const QByteArray sent = Dump(8, 8 * 1024);
  const snd_seq_real_time_t ahead{0, 2'000'000};
  const auto start = Clock::now();
  sender.Encode(sent, [&](snd_seq_event_t &event, long) {
    snd_seq_ev_schedule_real(&event, queue, 1, &ahead);
    sender.Output(event);
  });
  EXPECT_TRUE(receiver.Received().WaitForRoom(sent.size(), 0)) << "not everything arrived";
  PrintSpeed("64 KiB dump through a full output pool", sent.size(), Clock::now() - start);
  receiver.StopReceiving();
  EXPECT_GT(sender.FullOutputs(), 0) << "the output pool never filled";
  EXPECT_EQ(receiver.Overruns(), 0);
  ExpectSameBytes(receiver.Received().Bytes(), sent);
}

// One of snd-virmidi's ports from both sides: our sequencer client, and the raw MIDI device
// (hw:VirMIDI,0) that a program such as amidi opens. Raw ports have no flow control, so each
// sender waits for its bytes to arrive before it sends more.
class VirtualRawPort : public ::testing::Test {
 protected:
  void SetUp() override {
    port = FindPort(client.Handle(), "Virtual Raw MIDI 0-0", kReadWrite);
    ASSERT_TRUE(port);
    Check(snd_rawmidi_open(&rawIn, &rawOut, "hw:VirMIDI,0", SND_RAWMIDI_NONBLOCK), "raw open");
  }
  void TearDown() override {
    reading = false;
    if (reader.joinable()) reader.join();
    if (rawIn) snd_rawmidi_close(rawIn);
    if (rawOut) snd_rawmidi_close(rawOut);
  }
  void StartReadingRaw() {
    reader = std::thread([this] {
      std::vector<pollfd> fds(snd_rawmidi_poll_descriptors_count(rawIn));
      snd_rawmidi_poll_descriptors(rawIn, fds.data(), fds.size());
      char buffer[4096];
      while (reading) {
        const long got = snd_rawmidi_read(rawIn, buffer, sizeof buffer);
        if (got > 0)
          rawArrivals.Add(buffer, got);
        else
          poll(fds.data(), fds.size(), 20);
      }
    });
  }
  // Writes raw bytes in small chunks, each once the previous ones have arrived.
  void WriteRaw(const QByteArray &bytes) {
    std::vector<pollfd> fds(snd_rawmidi_poll_descriptors_count(rawOut));
    snd_rawmidi_poll_descriptors(rawOut, fds.data(), fds.size());
    for (long at = 0; at < bytes.size();) {
      ASSERT_TRUE(client.Received().WaitForRoom(at, kRawWindow / 2)) << "stalled at byte " << at;
      const long chunk = std::min<long>(kRawWindow / 2, bytes.size() - at);
      const long wrote = snd_rawmidi_write(rawOut, bytes.data() + at, chunk);
      if (wrote > 0)
        at += wrote;
      else
        poll(fds.data(), fds.size(), 20);
    }
  }
  Client client{"kelvane-test"};
  std::optional<snd_seq_addr_t> port;
  snd_rawmidi_t *rawIn = nullptr;
  snd_rawmidi_t *rawOut = nullptr;
  std::atomic<bool> reading{true};
  std::thread reader;
  Arrivals rawArrivals;
};

TEST_F(VirtualRawPort, SequencerEventsReachTheRawDeviceByteExact) {
  client.ConnectTo(*port);
  StartReadingRaw();
  const QByteArray sent = ShortMessages() + Dump(32, 8 * 1024);
  const auto start = Clock::now();
  client.Send(sent, &rawArrivals, kRawWindow);
  EXPECT_TRUE(rawArrivals.WaitForRoom(sent.size(), 0)) << "not everything arrived";
  PrintSpeed("256 KiB from a sequencer client to a virtual raw device", sent.size(),
             Clock::now() - start);
  ExpectSameBytes(rawArrivals.Bytes(), sent);
}

TEST_F(VirtualRawPort, RawBytesReachTheSequencerByteExact) {
  client.ConnectFrom(*port);
  client.StartReceiving();
  const QByteArray sent = ShortMessages() + Dump(32, 8 * 1024);
  const auto start = Clock::now();
  WriteRaw(sent);
  EXPECT_TRUE(client.Received().WaitForRoom(sent.size(), 0)) << "not everything arrived";
  PrintSpeed("256 KiB from a virtual raw device to a sequencer client", sent.size(),
             Clock::now() - start);
  client.StopReceiving();
  EXPECT_EQ(client.Overruns(), 0);
  ExpectSameBytes(client.Received().Bytes(), sent);
  std::printf(
      "[ note     ] the kernel's raw MIDI bridge sends SysEx in events of up to %ld bytes\n",
      client.LargestSysExEvent());
}

}  // namespace
