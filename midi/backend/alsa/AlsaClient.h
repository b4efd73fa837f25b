// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <alsa/asoundlib.h>

#include <array>
#include <atomic>
#include <climits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "MidiBackend.h"

// Where the events of one of our sequencer ports end up, as far as it tells how fast they may
// go: the sequencer has no flow control of its own. A program's input pool that fills refuses
// the next event and then throws away everything it held; the kernel's bridges to raw MIDI
// (hardware ports and virtual raw ports) drop what does not fit their buffers.
struct AlsaFlow {
  int freeCells = INT_MAX;  // the fewest free input cells among the programs reached
  int poolCells = INT_MAX;  // the smallest input pool among them
  bool hardware = false;    // a hardware port is reached: MIDI wire speed
  bool rawMidi = false;  // a virtual raw port is reached: the program behind it reads at its pace
};

// The one sequencer client "Kelvane" of the process. Each connection makes a port of its own on
// it; a thread of the client reads every input event and hands it to the port it was sent to.
//
// Threads: the GUI thread lists devices and makes ports, the output pumps write and look at their
// receivers, the client's thread reads. libasound's sequencer handle is not safe to share between
// threads (it keeps buffers and state of its own), so every call on it holds the handle's lock.
// The sequencer answers every call at once (the handle does not block): no one waits long.
class AlsaClient {
 public:
  enum class Direction { Output, Input };
  struct Device {
    std::string name;  // "client:port" by their names, as `aconnect -l` lists them
    snd_seq_addr_t address;
  };

  // The client, or null when there is no sequencer (no /dev/snd/seq).
  static std::shared_ptr<AlsaClient> Open();
  // What the sequencer answered the last time a client did not open, in a few words ("no
  // sequencer here (/dev/snd/seq: No such file or directory)"); empty before any such answer.
  static std::string LastOpenFailure();
  ~AlsaClient();
  AlsaClient(const AlsaClient &) = delete;
  AlsaClient &operator=(const AlsaClient &) = delete;

  // The sequencer never goes while the client is open, and opens at once.
  bool Alive() const { return true; }
  bool Opening() const { return false; }
  // The client's thread signals `wake` when clients or ports of the sequencer come, go or change.
  void WatchDevices(MidiWake *wake);
  // False when the sequencer refused to tell us of clients and ports that come and go: the device
  // lists must then be looked at now and then.
  bool Announces() const { return announcePort_ >= 0; }
  // Other clients' ports of a direction: those we can write to (Output), read from (Input).
  std::vector<Device> Devices(Direction direction) const;

  // Makes one of our ports ("output" or "input", open for others to connect); its number or a
  // MidiResult error as a negative number.
  int CreatePort(Direction direction);
  void DeletePort(int port);
  uint16_t Connect(int port, Direction direction, const snd_seq_addr_t &device);
  // Pump thread: our output port still sends to `device` (false once it has gone).
  bool Sends(int port, const snd_seq_addr_t &device) const;
  // Pump thread: how fast events of our port `port` may go now.
  AlsaFlow Flow(int port) const;
  // Pump thread: writes one event from our port to its subscribers, now.
  uint16_t Output(int port, snd_seq_event_t &event);

  // Input of our port `port` goes to `callback` from the client's thread, losses to `loss`,
  // until DetachInput returns. False when too many ports are attached.
  bool AttachInput(int port, MidiInputCallback callback, MidiLossCallback loss, void *context);
  void DetachInput(int port);

 private:
  struct InputTarget {
    int port = -1;
    MidiInputCallback callback = nullptr;
    MidiLossCallback loss = nullptr;
    void *context = nullptr;
  };

  AlsaClient() = default;
  int Start();
  void ListenToAnnouncements();
  void CollectFlow(const snd_seq_addr_t &from, int depth, AlsaFlow &flow) const;
  bool PassesOn(const snd_seq_addr_t &port) const;
  void CollectInputPool(int client, AlsaFlow &flow) const;
  void ReadInput();
  void Deliver(const snd_seq_event_t &event);
  void ReportLoss();

  // The handle for a call on it, under seqMutex_ once the client's thread runs. The count stands
  // for the state libasound changes inside the handle, which ThreadSanitizer cannot see (the
  // library is not instrumented): a call without the lock shows there as a race on it.
  snd_seq_t *Seq() const {
    ++handleCalls_;
    return seq_;
  }

  // Every call on seq_ holds seqMutex_; what it reads into (the last event read) is the client's
  // thread's own.
  snd_seq_t *seq_ = nullptr;
  mutable std::mutex seqMutex_;
  mutable uint64_t handleCalls_ = 0;
  int fd_ = -1;  // the sequencer's descriptor, for the pool query libasound lacks
  int self_ = -1;
  int announcePort_ = -1;  // -1: the sequencer refused to announce anything to us
  std::atomic<MidiWake *> devicesWake_{nullptr};
  // Input: read by the client's thread only; the targets under their lock, which the thread
  // holds while it delivers one event.
  snd_midi_event_t *decoder_ = nullptr;
  std::mutex targetsMutex_;
  std::array<InputTarget, 8> targets_{};
  MidiWake stop_;
  std::atomic<bool> stopping_{false};
  std::thread reader_;
};
