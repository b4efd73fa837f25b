// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <alsa/asoundlib.h>

#include <array>
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
  bool hardware = false;    // a hardware port is reached: MIDI wire speed
  bool rawMidi = false;  // a virtual raw port is reached: the program behind it reads at its pace
};

// The one sequencer client "Kelvane" of the process. Each connection makes a port of its own on
// it; a thread of the client reads every input event and hands it to the port it was sent to.
//
// Threads: everything but Output and Flow is for the GUI thread. Output and Flow run on the
// output pumps' threads (Output under the client's output lock: libasound builds variable-length
// events in one buffer per client). The sequencer answers every call at once: nothing here waits.
class AlsaClient {
 public:
  enum class Direction { Output, Input };
  struct Device {
    std::string name;  // "client:port" by their names, as `aconnect -l` lists them
    snd_seq_addr_t address;
  };

  // The client, or null when there is no sequencer (no /dev/snd/seq).
  static std::shared_ptr<AlsaClient> Open();
  ~AlsaClient();
  AlsaClient(const AlsaClient &) = delete;
  AlsaClient &operator=(const AlsaClient &) = delete;

  // The sequencer never goes while the client is open, and opens at once.
  bool Alive() const { return true; }
  bool Opening() const { return false; }
  // The client's thread signals `wake` when clients or ports of the sequencer come, go or change.
  void WatchDevices(MidiWake *wake);
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
  bool Start();
  void ListenToAnnouncements();
  void CollectFlow(const snd_seq_addr_t &from, int depth, AlsaFlow &flow) const;
  bool PassesOn(const snd_seq_addr_t &port) const;
  int FreeInputCells(int client) const;
  void ReadInput();
  void Deliver(const snd_seq_event_t &event);
  void ReportLoss();

  snd_seq_t *seq_ = nullptr;
  int fd_ = -1;  // the sequencer's descriptor, for the pool query libasound lacks
  int self_ = -1;
  int announcePort_ = -1;
  std::atomic<MidiWake *> devicesWake_{nullptr};
  std::mutex outputMutex_;
  // Input: read by the client's thread only; the targets under their lock, which the thread
  // holds while it delivers one batch of events.
  snd_midi_event_t *decoder_ = nullptr;
  std::mutex targetsMutex_;
  std::array<InputTarget, 8> targets_{};
  MidiWake stop_;
  std::atomic<bool> stopping_{false};
  std::thread reader_;
};
