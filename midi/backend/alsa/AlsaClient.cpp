// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AlsaClient.h"

#include <poll.h>
#include <sys/ioctl.h>

#include <algorithm>

namespace {

// The most input cells the kernel grants a client: a burst waits there rather than being lost.
constexpr int kInputPool = 2000;
// The longest short message the decoder writes at once (a 14-bit controller is two of them).
constexpr long kDecodeBytes = 16;
// Kernel ports that pass events on to their own subscribers ("Midi Through") are followed this
// deep; further on nothing is checked.
constexpr int kForwardDepth = 3;

// The kernel's pool report. libasound asks only for its own client's; the kernel answers for any
// client, which is what tells a sender how much room its receiver has left.
struct KernelClientPool {
  int client;
  int outputPool;
  int inputPool;
  int outputRoom;
  int outputFree;
  int inputFree;
  char reserved[64];
};
constexpr unsigned long kGetClientPool = _IOWR('S', 0x4b, KernelClientPool);

unsigned Capabilities(AlsaClient::Direction direction) {
  return direction == AlsaClient::Direction::Output
             ? SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE
             : SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
}

uint16_t OutputResult(int error) {
  switch (-error) {
    case EAGAIN:
    case ENOSPC:
      return mrNotTaking;  // a receiver's pool is full: it has lost what it held
    case ENOENT:
    case ENXIO:
      return mrDeviceGone;
    case ENOMEM:
      return mrNoMemory;
    default:
      return mrError;
  }
}

}  // namespace

namespace {

// libasound prints its own errors on stderr; a machine without a sequencer is an answer, not a
// fault, and the caller says what it means.
void QuietAlsaMessage(const char *, int, const char *, int, const char *, ...) {}

// snd_seq_open's error the last time a client did not open (0: none yet).
std::atomic<int> lastOpenError{0};

}  // namespace

std::shared_ptr<AlsaClient> AlsaClient::Open() {
  snd_lib_error_set_handler(&QuietAlsaMessage);
  std::shared_ptr<AlsaClient> client(new AlsaClient);
  const int error = client->Start();
  if (error == 0) return client;
  lastOpenError.store(error);
  return nullptr;
}

std::string AlsaClient::LastOpenFailure() {
  const int error = lastOpenError.load();
  if (error == 0) return {};
  // No device file is the usual answer of a machine without a sequencer: the short line, which
  // fits the Setup page beside the others.
  if (error == -ENOENT) return "no sequencer here (/dev/snd/seq)";
  return "the sequencer did not open (" + std::string(snd_strerror(error)) + ")";
}

// 0, or the sequencer's negative error code. Before the client's thread runs: no lock yet.
int AlsaClient::Start() {
  if (const int error = snd_seq_open(&seq_, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK);
      error < 0) {
    seq_ = nullptr;
    return error;
  }
  snd_seq_set_client_name(Seq(), "Kelvane");
  self_ = snd_seq_client_id(seq_);
  snd_seq_set_client_pool_input(Seq(), kInputPool);
  pollfd descriptor{};
  snd_seq_poll_descriptors(Seq(), &descriptor, 1, POLLIN);
  fd_ = descriptor.fd;
  if (const int error = snd_midi_event_new(kDecodeBytes, &decoder_); error < 0) {
    decoder_ = nullptr;
    return error;
  }
  snd_midi_event_no_status(decoder_, 1);  // every message with its status byte
  ListenToAnnouncements();
  reader_ = std::thread([this] { ReadInput(); });
  return 0;
}

AlsaClient::~AlsaClient() {
  stopping_.store(true);
  stop_.Signal();
  if (reader_.joinable()) reader_.join();
  if (decoder_) snd_midi_event_free(decoder_);
  if (seq_) snd_seq_close(seq_);
}

// ---- devices and ports ----

// The sequencer tells every client that listens when clients and ports come, go or change: a
// private port of ours listens, so that the device lists follow at once. Without it (the
// sequencer refused the port or the subscription) Announces() says so.
void AlsaClient::ListenToAnnouncements() {
  const int port = snd_seq_create_simple_port(Seq(), "announcements",
                                              SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
                                              SND_SEQ_PORT_TYPE_APPLICATION);
  if (port < 0) return;
  if (snd_seq_connect_from(Seq(), port, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE) < 0) {
    snd_seq_delete_simple_port(Seq(), port);
    return;
  }
  announcePort_ = port;
}

void AlsaClient::WatchDevices(MidiWake *wake) {
  devicesWake_.store(wake);
}

std::vector<AlsaClient::Device> AlsaClient::Devices(Direction direction) const {
  const unsigned wanted = Capabilities(direction);
  std::vector<Device> devices;
  snd_seq_client_info_t *client;
  snd_seq_port_info_t *port;
  snd_seq_client_info_alloca(&client);
  snd_seq_port_info_alloca(&port);
  snd_seq_client_info_set_client(client, -1);
  std::lock_guard lock(seqMutex_);
  while (snd_seq_query_next_client(Seq(), client) >= 0) {
    const int id = snd_seq_client_info_get_client(client);
    if (id == SND_SEQ_CLIENT_SYSTEM || id == self_) continue;  // timer and announce; ourselves
    snd_seq_port_info_set_client(port, id);
    snd_seq_port_info_set_port(port, -1);
    while (snd_seq_query_next_port(Seq(), port) >= 0) {
      const unsigned caps = snd_seq_port_info_get_capability(port);
      if ((caps & wanted) != wanted || (caps & SND_SEQ_PORT_CAP_NO_EXPORT)) continue;
      devices.push_back({std::string(snd_seq_client_info_get_name(client)) + ':' +
                             snd_seq_port_info_get_name(port),
                         *snd_seq_port_info_get_addr(port)});
    }
  }
  return devices;
}

int AlsaClient::CreatePort(Direction direction) {
  const bool output = direction == Direction::Output;
  // Our output is read by others, our input written to.
  const unsigned caps = Capabilities(output ? Direction::Input : Direction::Output);
  std::lock_guard lock(seqMutex_);
  const int port =
      snd_seq_create_simple_port(Seq(), output ? "output" : "input", caps,
                                 SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
  if (port >= 0) return port;
  return -(port == -ENOMEM ? mrNoMemory : mrError);
}

void AlsaClient::DeletePort(int port) {
  std::lock_guard lock(seqMutex_);
  snd_seq_delete_simple_port(Seq(), port);  // ends its subscriptions too
}

uint16_t AlsaClient::Connect(int port, Direction direction, const snd_seq_addr_t &device) {
  std::lock_guard lock(seqMutex_);
  const int result = direction == Direction::Output
                         ? snd_seq_connect_to(Seq(), port, device.client, device.port)
                         : snd_seq_connect_from(Seq(), port, device.client, device.port);
  if (result >= 0) return mrOk;
  return result == -ENOENT || result == -ENXIO ? mrDeviceGone : mrAllocated;
}

bool AlsaClient::Sends(int port, const snd_seq_addr_t &device) const {
  snd_seq_port_subscribe_t *subscription;
  snd_seq_port_subscribe_alloca(&subscription);
  const snd_seq_addr_t sender{static_cast<unsigned char>(self_), static_cast<unsigned char>(port)};
  snd_seq_port_subscribe_set_sender(subscription, &sender);
  snd_seq_port_subscribe_set_dest(subscription, &device);
  std::lock_guard lock(seqMutex_);
  return snd_seq_get_port_subscription(Seq(), subscription) >= 0;
}

// ---- output ----

AlsaFlow AlsaClient::Flow(int port) const {
  AlsaFlow flow;
  std::lock_guard lock(seqMutex_);
  CollectFlow({static_cast<unsigned char>(self_), static_cast<unsigned char>(port)}, 0, flow);
  return flow;
}

// Follows the subscriptions from `from`: a program's input pool, a kernel port that passes
// events on to its own subscribers, or a kernel bridge to raw MIDI (a hardware port, a virtual
// raw port). Under the handle's lock.
void AlsaClient::CollectFlow(const snd_seq_addr_t &from, int depth, AlsaFlow &flow) const {
  snd_seq_query_subscribe_t *query;
  snd_seq_client_info_t *client;
  snd_seq_port_info_t *port;
  snd_seq_query_subscribe_alloca(&query);
  snd_seq_client_info_alloca(&client);
  snd_seq_port_info_alloca(&port);
  snd_seq_query_subscribe_set_root(query, &from);
  snd_seq_query_subscribe_set_type(query, SND_SEQ_QUERY_SUBS_READ);
  for (int index = 0;; ++index) {
    snd_seq_query_subscribe_set_index(query, index);
    if (snd_seq_query_port_subscribers(Seq(), query) < 0) return;
    const snd_seq_addr_t to = *snd_seq_query_subscribe_get_addr(query);
    if (snd_seq_get_any_client_info(Seq(), to.client, client) < 0) continue;
    if (snd_seq_client_info_get_type(client) == SND_SEQ_USER_CLIENT) {
      CollectInputPool(to.client, flow);
      continue;
    }
    if (snd_seq_get_any_port_info(Seq(), to.client, to.port, port) < 0) continue;
    if (depth < kForwardDepth && PassesOn(to)) {
      CollectFlow(to, depth + 1, flow);
      continue;
    }
    const unsigned type = snd_seq_port_info_get_type(port);
    flow.hardware = flow.hardware || (type & SND_SEQ_PORT_TYPE_HARDWARE);
    flow.rawMidi = flow.rawMidi || !(type & SND_SEQ_PORT_TYPE_HARDWARE);
  }
}

// A kernel port with subscribers of its own ("Midi Through") passes our events on to them.
// (A virtual raw port that is also read through the sequencer counts as one too.) Under the
// handle's lock.
bool AlsaClient::PassesOn(const snd_seq_addr_t &port) const {
  snd_seq_query_subscribe_t *query;
  snd_seq_query_subscribe_alloca(&query);
  snd_seq_query_subscribe_set_root(query, &port);
  snd_seq_query_subscribe_set_type(query, SND_SEQ_QUERY_SUBS_READ);
  snd_seq_query_subscribe_set_index(query, 0);
  return snd_seq_query_port_subscribers(Seq(), query) >= 0;
}

void AlsaClient::CollectInputPool(int client, AlsaFlow &flow) const {
  KernelClientPool pool{};
  pool.client = client;
  if (ioctl(fd_, kGetClientPool, &pool) < 0) return;  // gone: nothing to wait for
  flow.freeCells = std::min(flow.freeCells, pool.inputFree);
  flow.poolCells = std::min(flow.poolCells, pool.inputPool);
}

uint16_t AlsaClient::Output(int port, snd_seq_event_t &event) {
  snd_seq_ev_set_source(&event, port);
  snd_seq_ev_set_subs(&event);
  snd_seq_ev_set_direct(&event);
  std::lock_guard lock(seqMutex_);
  const int result = snd_seq_event_output_direct(Seq(), &event);
  return result >= 0 ? uint16_t{mrOk} : OutputResult(result);
}

// ---- input ----

bool AlsaClient::AttachInput(int port, MidiInputCallback callback, MidiLossCallback loss,
                             void *context) {
  std::lock_guard lock(targetsMutex_);
  for (InputTarget &target : targets_) {
    if (target.port >= 0) continue;
    target = InputTarget{port, callback, loss, context};
    return true;
  }
  return false;
}

void AlsaClient::DetachInput(int port) {
  std::lock_guard lock(targetsMutex_);
  for (InputTarget &target : targets_)
    if (target.port == port) target = InputTarget{};
}

// The client's thread: reads every event as it comes until the client closes. It allocates
// nothing (libasound reads into the buffer it made when the client opened) and throws nothing.
// An event read stays valid until the next read, which only this thread makes: it is delivered
// without the handle's lock, so that the pumps write meanwhile.
void AlsaClient::ReadInput() {
  std::array<pollfd, 4> fds{};
  int count = 0;
  {
    std::lock_guard lock(seqMutex_);
    count =
        snd_seq_poll_descriptors(Seq(), fds.data(), static_cast<unsigned>(fds.size() - 1), POLLIN);
  }
  fds[static_cast<size_t>(count)] = pollfd{stop_.Fd(), POLLIN, 0};
  while (!stopping_.load()) {
    poll(fds.data(), static_cast<nfds_t>(count + 1), -1);
    for (;;) {
      snd_seq_event_t *event = nullptr;
      int result;
      {
        std::lock_guard lock(seqMutex_);
        result = snd_seq_event_input(Seq(), &event);
      }
      if (result == -ENOSPC) {
        ReportLoss();  // our input pool overflowed: the kernel dropped what it held
        continue;
      }
      if (result < 0 || !event) break;  // EAGAIN: everything has been read
      Deliver(*event);
    }
  }
}

// SysEx as the pieces it arrives in; anything else as short messages with their status bytes.
void AlsaClient::Deliver(const snd_seq_event_t &event) {
  if (announcePort_ >= 0 && event.dest.port == announcePort_) {
    const bool devicesChanged =
        event.type >= SND_SEQ_EVENT_CLIENT_START && event.type <= SND_SEQ_EVENT_PORT_CHANGE;
    if (MidiWake *wake = devicesWake_.load(); wake && devicesChanged) wake->Signal();
    return;
  }
  std::lock_guard lock(targetsMutex_);
  const auto target = std::find_if(targets_.begin(), targets_.end(), [&](const InputTarget &t) {
    return t.port >= 0 && t.port == event.dest.port;
  });
  if (target == targets_.end()) return;
  if (event.type == SND_SEQ_EVENT_SYSEX) {
    if (event.data.ext.len > 0)
      target->callback(target->context, static_cast<const uint8_t *>(event.data.ext.ptr),
                       event.data.ext.len);
    return;
  }
  uint8_t bytes[kDecodeBytes];
  const long length = snd_midi_event_decode(decoder_, bytes, sizeof bytes, &event);
  for (long at = 0; at < length;) {
    const auto size = static_cast<long>(ShortMessageLength(bytes[at]));
    if (bytes[at] < 0x80 || at + size > length) return;
    target->callback(target->context, bytes + at, static_cast<size_t>(size));
    at += size;
  }
}

void AlsaClient::ReportLoss() {
  std::lock_guard lock(targetsMutex_);
  for (const InputTarget &target : targets_)
    if (target.port >= 0 && target.loss) target.loss(target.context);
}
