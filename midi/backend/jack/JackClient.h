// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "GuiThread.h"
#include "MidiBackend.h"

// Where an input port's events go from the process callback.
struct JackInputTarget {
  MidiInputCallback callback = nullptr;
  void *context = nullptr;
};

// One of our JACK ports as the process callback sees it. The port is registered once and kept
// for the client's life; what it carries is attached while a connection is open.
struct JackSlot {
  enum class Link { None, Pending, Made, Refused };

  std::atomic<jack_port_t *> port{nullptr};
  bool output = false;
  bool registerAsked = false;                            // GUI thread's own
  std::atomic<bool> registerRefused{false};              // the server would not register it
  std::atomic<MidiOutQueue *> queue{nullptr};            // output: what to write
  std::atomic<uint64_t> holdUntilCycle{0};               // output: writes wait for the connection
  std::atomic<const JackInputTarget *> target{nullptr};  // input: where events go
  // The connection asked for last (a newer request supersedes what an older one answers).
  std::atomic<uint64_t> linkTicket{0};
  std::atomic<Link> link{Link::None};
  std::atomic<bool> wirePaced{false};  // output: SysEx no faster than a MIDI cable carries it
  double paceCredit = 0;  // output, the process callback's own: bytes the cable has room for
};

// The one JACK client "Kelvane" of the process, holding all of Kelvane's ports. Its process
// callback writes every output port from its queue and hands every input port's events to its
// target; nothing else runs on JACK's thread.
//
// Every request to the server (open, register, connect, disconnect, close) runs on a thread of
// the client, in the order asked, and the GUI thread never waits for one: a stopped server
// (SIGSTOP, a hung driver) never answers them. What a request brings is seen afterwards: the
// client comes alive, a port is registered, a connection is made or refused; the device watch is
// told of each.
class JackClient {
 public:
  enum class Direction { Output, Input };

  // Starts opening the client on the running server and returns at once; Alive() once it is
  // open, Opening() while the server has not answered.
  static std::shared_ptr<JackClient> Open();
  // Any thread: the status bits (jack_status_t) jack_client_open gave when last asked; 0 before.
  static inline std::atomic<int> lastOpenStatus{0};
  ~JackClient();
  JackClient(const JackClient &) = delete;
  JackClient &operator=(const JackClient &) = delete;

  // Not on the GUI thread (it waits): until the server has answered the open, at most `limit`.
  // True when the client is open.
  bool WaitForAnswer(std::chrono::milliseconds limit) const;
  // Any thread: the open has been asked for and not answered yet.
  bool Opening() const;
  // Any thread: open, and not shut down by the server since.
  bool Alive() const;
  // GUI thread: the server has run no cycle for far longer than a period, as this thread saw it.
  bool Stalled() const;
  // The name the server knows us by ("Kelvane", or "Kelvane-01" beside another Kelvane).
  const std::string &Name() const;

  // Any thread of the server signals `wake` when a port comes, goes or is renamed, and when the
  // server shuts the client down.
  void WatchDevices(MidiWake *wake);
  // GUI thread: the other clients' MIDI ports of a direction, as the musician chooses them: the
  // ports we can write to (Output) or read from (Input), in the server's order.
  std::vector<std::string> Devices(Direction direction) const;
  // GUI thread: waits (briefly, never longer than `limit`) until the server has run `count` cycles,
  // so that a connection just made has taken effect.
  void WaitForCycles(uint64_t count, std::chrono::milliseconds limit) const;
  // GUI thread: our port of that direction; its registration is asked for on first use and the
  // process callback serves it once the server has answered.
  uint16_t Slot(Direction direction, JackSlot *&slot);
  // GUI thread: asks for our port to be connected to (output) or from (input) the port named
  // `device`; the slot's `link` tells the answer. An output attached to wait for its connection
  // starts writing a few cycles after it was made.
  void Connect(JackSlot &slot, const std::string &device);
  // GUI thread: our port is connected to (output) or from (input) the port named `device`. A
  // port that went away takes its connections with it, even when one of its name came since.
  bool ConnectedTo(const JackSlot &slot, const std::string &device) const;
  // GUI thread: asks for every connection of our port to be removed (a stalled server does it
  // when, if, it runs again).
  void DisconnectAll(JackSlot &slot);

  // Any thread: the server's overruns (xruns) since the client opened. A cycle that overran may
  // have lost data between any two clients, ours included.
  uint64_t Overruns() const;
  // GUI thread: `device`, or any port our port is connected to, stands for a cable
  // (JackPortIsPhysical: JACK's ALSA bridges, a2jmidid and PipeWire's bridge set it). Such a
  // bridge queues a few kilobytes per port and drops what does not fit.
  bool ReachesPhysicalPort(const JackSlot &slot, const std::string &device) const;
  // GUI thread: from the next cycle on, SysEx on our output port goes no faster than a cable.
  void SetWirePaced(JackSlot &slot, bool paced) {
    AssertGuiThread();
    slot.wirePaced.store(paced);
  }

  // GUI thread. Once Detach* returns, the process callback no longer touches what was attached.
  void AttachOutput(JackSlot &slot, MidiOutQueue &queue, bool waitForConnection);
  void DetachOutput(JackSlot &slot);
  void AttachInput(JackSlot &slot, const JackInputTarget &target);
  void DetachInput(JackSlot &slot);

  struct Core;

 private:
  explicit JackClient(Core *core) : core_(core) {}
  Core *core_;  // left behind, never freed, when the server stopped answering or died
  // The cycle count Stalled last saw, and since when (steady clock ticks; 0 before).
  mutable std::atomic<uint64_t> seenCycles_{0};
  mutable std::atomic<int64_t> seenAt_{0};
};
