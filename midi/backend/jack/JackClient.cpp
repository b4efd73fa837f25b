// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "JackClient.h"

#include <jack/midiport.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "GuiThread.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const char *const kClientName = "Kelvane";
const char *const kOutputPortName = "output";
const char *const kInputPortName = "input";

// How long the client's end waits for the server to close it, as the process ends.
constexpr milliseconds kCloseDeadline{1000};
// A server that has run no cycle for this long (or 8 periods, if longer) is not taking data.
constexpr milliseconds kStallLimit{500};
// PipeWire's JACK hands each cycle's events on as one sequence of 32 KiB, in which the sequence
// takes 16 bytes and each event 16 more plus its bytes rounded up to 8; what does not fit crashes
// or vanishes there, and a cycle filled to the last byte crashed it too. No cycle writes more
// than 31 KiB so counted, on any server (JACK's own limit is close to it anyway).
constexpr size_t kCycleBudget = 31 * 1024;
constexpr size_t kEventOverhead = 16;
// Late cycles in a row in which SysEx waits (see HoldSysEx).
constexpr int kLateCyclesHeld = 4;
// A new connection takes effect at a cycle boundary; bytes written before it are lost.
constexpr uint64_t kCyclesForAConnection = 3;

constexpr size_t kSlots = 2;  // our output and our input

// A port that stands for a cable: MIDI's wire speed (31,250 baud, ten bits a byte), in events
// small enough for any bridge's queue (JACK's raw MIDI bridge holds 4,096 bytes per port). The
// credit may run into debt by one piece, which the next cycles wait out; after an idle time it
// allows a short burst.
constexpr double kWireBytesPerSecond = 3125;
constexpr size_t kPacedPiece = 256;
constexpr double kPacedBurst = 1024;

void QuietJackMessage(const char *) {}

int64_t Now() {
  return Clock::now().time_since_epoch().count();
}

// One cycle's buffer of an output port, as the queue's pump writes to it. With `paceCredit`,
// SysEx goes at a cable's speed; short messages are never held back by it.
class JackWire : public MidiWire {
 public:
  JackWire(void *buffer, bool holdSysEx, double *paceCredit)
      : buffer_(buffer), holdSysEx_(holdSysEx), paceCredit_(paceCredit) {}
  bool PieceDue() override { return !holdSysEx_; }
  size_t Room() override {
    if (!paceCredit_) return BufferRoom();
    return *paceCredit_ > 0 ? std::min(BufferRoom(), kPacedPiece) : 0;
  }
  bool FitsShort(size_t length) override { return BufferRoom() >= length; }
  uint16_t Write(const uint8_t *bytes, size_t length) override {
    jack_midi_data_t *event = jack_midi_event_reserve(buffer_, 0, length);
    if (!event) return mrNotTaking;  // Room said it fits; never seen
    std::memcpy(event, bytes, length);
    budget_ -= std::min(budget_, kEventOverhead + ((length + 7) & ~size_t{7}));
    if (paceCredit_) *paceCredit_ -= static_cast<double>(length);
    return mrOk;
  }

 private:
  size_t BufferRoom() const {
    const size_t left = budget_ >= kEventOverhead ? (budget_ - kEventOverhead) & ~size_t{7} : 0;
    return std::min(jack_midi_max_event_size(buffer_), left);
  }

  void *buffer_;
  bool holdSysEx_;
  double *paceCredit_;
  size_t budget_ = kCycleBudget;
};

}  // namespace

// Everything the process callback and the request thread share. Freed only when neither can
// touch it any more; left behind when the server stopped answering or died.
struct JackClient::Core {
  jack_client_t *client = nullptr;
  std::string name;
  std::array<JackSlot, kSlots> ports;  // ("slots" is a Qt macro)
  std::atomic<bool> alive{false};
  std::atomic<int> inCallback{0};  // callbacks running now; see Quiesce
  std::atomic<uint64_t> cycles{0};
  std::atomic<int64_t> lastCycle{0};
  std::atomic<int64_t> stallLimit{0};
  std::atomic<MidiWake *> devicesWake{nullptr};  // told when ports come and go
  std::atomic<bool> opening{true};
  std::atomic<uint64_t> xruns{0};

  // The request thread and its queue. `answered` is told each time a request has been answered
  // (the open first of all).
  std::mutex mutex;
  std::condition_variable wake, answered;
  std::deque<std::function<void()>> requests;
  bool stop = false;
  bool serving = false;  // a request is running now
  std::thread thread;

  // ---- JACK's threads: no lock, no allocation ----
  static int Process(jack_nframes_t frames, void *self) noexcept;
  static void Shutdown(jack_status_t, const char *, void *self) noexcept;
  static int BufferSize(jack_nframes_t frames, void *self) noexcept;
  static void PortRegistered(jack_port_id_t, int, void *self) noexcept;
  static void PortRenamed(jack_port_id_t, const char *, const char *, void *self) noexcept;
  static int Xrun(void *self) noexcept;
  void DevicesChanged() noexcept {
    if (MidiWake *wake = devicesWake.load()) wake->Signal();
  }
  void ServeOutput(JackSlot &slot, jack_port_t *port, jack_nframes_t frames) noexcept;
  double *PaceCredit(JackSlot &slot, jack_nframes_t frames) noexcept;
  // A cycle of ours that the server skipped (PipeWire's JACK runs a client that missed its
  // wake-ups once, for the latest cycle) lost what the skipped cycle carried, and PipeWire does
  // not always count it as an xrun: counted as one here.
  void CountSkippedCycles(jack_nframes_t frames) noexcept {
    const jack_nframes_t start = jack_last_frame_time(client);
    if (cycleStartKnown && start != expectedStart) xruns.fetch_add(1);
    expectedStart = start + frames;
    cycleStartKnown = true;
  }
  jack_nframes_t expectedStart = 0;  // process callback's own
  bool cycleStartKnown = false;
  bool HoldSysEx() noexcept;
  int lateCycles = 0;  // process callback's own: late cycles in a row in which SysEx waited
  void ServeInput(JackSlot &slot, jack_port_t *port, jack_nframes_t frames) noexcept;

  // ---- requests ----
  void Post(std::function<void()> work);
  void Serve();
  bool WaitUntil(milliseconds limit, const std::function<bool()> &done);
  // ---- on the request thread ----
  void OpenOnServer();
  void CloseOnServer();
  void Register(JackSlot &slot, bool output);
  void Link(JackSlot &slot, uint64_t ticket, const std::string &device);
  // Waits until no callback is inside the slots (they never block, so this is short).
  void Quiesce() const {
    while (inCallback.load() != 0) std::this_thread::yield();
  }
  void SetPeriod(jack_nframes_t frames, jack_nframes_t rate) {
    const auto period = std::chrono::nanoseconds(1'000'000'000LL * frames / std::max(rate, 1u));
    const auto limit = std::max<Clock::duration>(kStallLimit, 8 * period);
    stallLimit.store(limit.count());
  }
};

// ---- JACK's threads ----

int JackClient::Core::Process(jack_nframes_t frames, void *self) noexcept {
  Core &core = *static_cast<Core *>(self);
  core.inCallback.fetch_add(1);
  core.lastCycle.store(Now(), std::memory_order_relaxed);
  core.cycles.fetch_add(1, std::memory_order_relaxed);
  core.CountSkippedCycles(frames);
  for (JackSlot &slot : core.ports) {
    jack_port_t *port = slot.port.load(std::memory_order_acquire);
    if (!port) continue;
    if (slot.output)
      core.ServeOutput(slot, port, frames);
    else
      core.ServeInput(slot, port, frames);
  }
  core.inCallback.fetch_sub(1);
  return 0;
}

void JackClient::Core::ServeOutput(JackSlot &slot, jack_port_t *port,
                                   jack_nframes_t frames) noexcept {
  void *buffer = jack_port_get_buffer(port, frames);
  jack_midi_clear_buffer(buffer);  // every cycle, or the last cycle's events would go again
  MidiOutQueue *queue = slot.queue.load();
  if (!queue || cycles.load(std::memory_order_relaxed) < slot.holdUntilCycle.load()) return;
  JackWire wire(buffer, HoldSysEx(), PaceCredit(slot, frames));
  queue->Pump(wire);
}

// A paced port's credit grows by what a cable carries in this cycle's time; null when unpaced.
double *JackClient::Core::PaceCredit(JackSlot &slot, jack_nframes_t frames) noexcept {
  if (!slot.wirePaced.load(std::memory_order_relaxed)) {
    slot.paceCredit = 0;
    return nullptr;
  }
  const double seconds = double(frames) / double(std::max(jack_get_sample_rate(client), 1u));
  slot.paceCredit = std::min(kPacedBurst, slot.paceCredit + seconds * kWireBytesPerSecond);
  return &slot.paceCredit;
}

// A cycle that runs after its own end has been overtaken by the server (an xrun): a receiver may
// never read what it writes, so SysEx waits for a cycle on time. Short messages go regardless,
// and after a few late cycles in a row so does SysEx: a server that is always late must still
// get data.
bool JackClient::Core::HoldSysEx() noexcept {
  jack_nframes_t frames;
  jack_time_t start, next;
  float period;
  const bool late =
      jack_get_cycle_times(client, &frames, &start, &next, &period) == 0 && jack_get_time() > next;
  lateCycles = late && lateCycles < kLateCyclesHeld ? lateCycles + 1 : 0;
  return lateCycles > 0;
}

void JackClient::Core::ServeInput(JackSlot &slot, jack_port_t *port,
                                  jack_nframes_t frames) noexcept {
  const JackInputTarget *target = slot.target.load();
  if (!target) return;
  void *buffer = jack_port_get_buffer(port, frames);
  const jack_nframes_t count = jack_midi_get_event_count(buffer);
  for (jack_nframes_t i = 0; i < count; ++i) {
    jack_midi_event_t event;
    if (jack_midi_event_get(&event, buffer, i) != 0 || event.size == 0) continue;
    target->callback(target->context, event.buffer, event.size);
  }
}

// On a thread of libjack when the server shuts us down: marks the client dead and wakes every
// output port, so transfers in flight are reported as failed at once.
void JackClient::Core::Shutdown(jack_status_t, const char *, void *self) noexcept {
  Core &core = *static_cast<Core *>(self);
  core.alive.store(false);
  core.inCallback.fetch_add(1);
  for (JackSlot &slot : core.ports)
    if (MidiOutQueue *queue = slot.queue.load()) queue->Wake();
  core.inCallback.fetch_sub(1);
  core.DevicesChanged();  // every device of the server is gone with it
}

void JackClient::Core::PortRegistered(jack_port_id_t, int, void *self) noexcept {
  static_cast<Core *>(self)->DevicesChanged();
}

void JackClient::Core::PortRenamed(jack_port_id_t, const char *, const char *,
                                   void *self) noexcept {
  static_cast<Core *>(self)->DevicesChanged();
}

int JackClient::Core::Xrun(void *self) noexcept {
  static_cast<Core *>(self)->xruns.fetch_add(1);
  return 0;
}

int JackClient::Core::BufferSize(jack_nframes_t frames, void *self) noexcept {
  Core &core = *static_cast<Core *>(self);
  core.SetPeriod(frames, jack_get_sample_rate(core.client));
  return 0;
}

// ---- requests ----

// Any thread: queues `work` for the request thread and returns at once.
void JackClient::Core::Post(std::function<void()> work) {
  std::lock_guard lock(mutex);
  requests.push_back(std::move(work));
  wake.notify_one();
}

// The request thread: runs requests in order until stopped with nothing left.
void JackClient::Core::Serve() {
  std::unique_lock lock(mutex);
  for (;;) {
    wake.wait(lock, [this] { return stop || !requests.empty(); });
    if (requests.empty()) return;  // stopped, nothing left
    std::function<void()> work = std::move(requests.front());
    requests.pop_front();
    serving = true;
    lock.unlock();
    work();
    lock.lock();
    serving = false;
    answered.notify_all();
  }
}

// Waits at most `limit` for `done`, which is checked whenever a request has been answered.
bool JackClient::Core::WaitUntil(milliseconds limit, const std::function<bool()> &done) {
  std::unique_lock lock(mutex);
  return answered.wait_for(lock, limit, done);
}

void JackClient::Core::OpenOnServer() {
  jack_status_t status{};
  const auto options = static_cast<jack_options_t>(JackNoStartServer);
  jack_client_t *opened = jack_client_open(kClientName, options, &status);
  if (opened) {
    client = opened;
    name = jack_get_client_name(client);
    SetPeriod(jack_get_buffer_size(client), jack_get_sample_rate(client));
    lastCycle.store(Now());
    jack_set_process_callback(client, &Core::Process, this);
    jack_set_buffer_size_callback(client, &Core::BufferSize, this);
    jack_on_info_shutdown(client, &Core::Shutdown, this);
    jack_set_port_registration_callback(client, &Core::PortRegistered, this);
    jack_set_port_rename_callback(client, &Core::PortRenamed, this);
    jack_set_xrun_callback(client, &Core::Xrun, this);
    if (jack_activate(client) == 0) {
      alive.store(true);
    } else {
      // Half open is not open: a client that never runs would hold its name on the server.
      jack_client_close(client);
      client = nullptr;
    }
  }
  lastOpenStatus.store(status);
  opening.store(false);
  // Only a client that came brings devices; a failed open is tried again at the next look.
  if (alive.load()) DevicesChanged();
}

void JackClient::Core::CloseOnServer() {
  // A client the server shut down is never closed: libjack may still hold it.
  if (!alive.load() || !client) return;
  jack_deactivate(client);
  jack_client_close(client);
  alive.store(false);
  client = nullptr;
}

// ---- the client ----

std::shared_ptr<JackClient> JackClient::Open() {
  jack_set_error_function(&QuietJackMessage);  // a missing server is an answer, not a fault
  jack_set_info_function(&QuietJackMessage);
  auto *core = new Core;
  core->thread = std::thread([core] { core->Serve(); });
  core->Post([core] { core->OpenOnServer(); });
  return std::shared_ptr<JackClient>(new JackClient(core));
}

bool JackClient::WaitForAnswer(milliseconds limit) const {
  Core *core = core_;
  core->WaitUntil(limit, [core] { return !core->opening.load(); });
  return Alive();
}

bool JackClient::Opening() const {
  return core_->opening.load();
}

namespace {

// Cores that a stopped or dead server keeps are left here for the life of the process: libjack,
// or a request that may still answer, can reach them at any time.
void LeaveBehind(JackClient::Core *core) {
  static auto *leftBehind = new std::vector<JackClient::Core *>;
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  leftBehind->push_back(core);
}

}  // namespace

// Closed on the request thread after every request still queued, the open among them: a client
// whose open the server answers late is closed as well. The process waits a little for a clean
// close; a stopped server keeps it all, left behind.
JackClient::~JackClient() {
  Core *core = core_;
  core->Post([core] { core->CloseOnServer(); });
  {
    std::lock_guard lock(core->mutex);
    core->stop = true;
  }
  core->wake.notify_one();
  const bool finished =
      core->WaitUntil(kCloseDeadline, [core] { return core->requests.empty() && !core->serving; });
  if (!finished) {
    core->thread.detach();
    LeaveBehind(core);
    return;
  }
  core->thread.join();
  if (core->client) {  // shut down by the server: libjack may still reach it
    LeaveBehind(core);
    return;
  }
  delete core;
}

bool JackClient::Alive() const {
  return core_->alive.load();
}

// A cycle's absence counts only for as long as this thread has seen it: a process that was not
// scheduled for a while itself (a loaded machine) has missed the server's cycles, not lost its
// server, and its callback runs again in a moment.
bool JackClient::Stalled() const {
  AssertGuiThread();
  const int64_t now = Now();
  const uint64_t cycles = core_->cycles.load(std::memory_order_relaxed);
  if (cycles != seenCycles_.exchange(cycles) || seenAt_.load() == 0) seenAt_.store(now);
  const int64_t since = std::max(seenAt_.load(), core_->lastCycle.load(std::memory_order_relaxed));
  return now - since > core_->stallLimit.load();
}

const std::string &JackClient::Name() const {
  return core_->name;
}

void JackClient::WatchDevices(MidiWake *wake) {
  core_->devicesWake.store(wake);
}

std::vector<std::string> JackClient::Devices(Direction direction) const {
  AssertGuiThread();
  std::vector<std::string> devices;
  if (!Alive()) return devices;
  // We write to the ports that take input, and read from those that give output.
  const unsigned long flags = direction == Direction::Output ? JackPortIsInput : JackPortIsOutput;
  const char **ports = jack_get_ports(core_->client, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
  if (!ports) return devices;
  const std::string ours = core_->name + ":";
  for (const char **port = ports; *port; ++port)
    if (std::strncmp(*port, ours.c_str(), ours.size()) != 0) devices.emplace_back(*port);
  jack_free(ports);
  return devices;
}

uint16_t JackClient::Slot(Direction direction, JackSlot *&slot) {
  AssertGuiThread();
  if (!Alive()) return mrServerGone;
  const bool output = direction == Direction::Output;
  JackSlot &chosen = core_->ports[output ? 0 : 1];
  slot = &chosen;
  if (chosen.registerRefused.exchange(false)) {
    chosen.registerAsked = false;  // asked again now; refused once more, it says so again
    return mrAllocated;
  }
  if (chosen.registerAsked) return mrOk;
  chosen.registerAsked = true;
  chosen.output = output;
  Core *core = core_;
  core->Post([core, &chosen, output] { core->Register(chosen, output); });
  return mrOk;
}

void JackClient::Core::Register(JackSlot &slot, bool output) {
  if (!alive.load()) return;
  jack_port_t *port =
      jack_port_register(client, output ? kOutputPortName : kInputPortName, JACK_DEFAULT_MIDI_TYPE,
                         output ? JackPortIsOutput : JackPortIsInput, 0);
  slot.port.store(port, std::memory_order_release);  // pairs with the process callback
  if (!port) slot.registerRefused.store(true);
}

void JackClient::Connect(JackSlot &slot, const std::string &device) {
  AssertGuiThread();
  const uint64_t ticket = slot.linkTicket.fetch_add(1) + 1;
  slot.link.store(JackSlot::Link::Pending);
  Core *core = core_;
  core->Post([core, &slot, ticket, device] { core->Link(slot, ticket, device); });
}

void JackClient::Core::Link(JackSlot &slot, uint64_t ticket, const std::string &device) {
  jack_port_t *port = slot.port.load();
  int rc = -1;
  if (alive.load() && port) {
    const std::string ours = jack_port_name(port);
    const std::string &from = slot.output ? ours : device;
    const std::string &to = slot.output ? device : ours;
    rc = jack_connect(client, from.c_str(), to.c_str());
  }
  if (slot.linkTicket.load() != ticket) return;  // asked for another since
  if (rc == 0 || rc == EEXIST) {
    slot.holdUntilCycle.store(cycles.load() + kCyclesForAConnection);
    slot.link.store(JackSlot::Link::Made);
  } else {
    slot.link.store(JackSlot::Link::Refused);
    DevicesChanged();  // the window looks again, and finds the connection lost
  }
}

bool JackClient::ConnectedTo(const JackSlot &slot, const std::string &device) const {
  AssertGuiThread();
  jack_port_t *port = slot.port.load();
  return Alive() && port && jack_port_connected_to(port, device.c_str());
}

void JackClient::DisconnectAll(JackSlot &slot) {
  AssertGuiThread();
  slot.linkTicket.fetch_add(1);  // a connection still to be made is not waited for
  slot.link.store(JackSlot::Link::None);
  Core *core = core_;
  core->Post([core, &slot] {
    jack_port_t *port = slot.port.load();
    if (core->alive.load() && port) jack_port_disconnect(core->client, port);
  });
}

uint64_t JackClient::Overruns() const {
  return core_->xruns.load();
}

bool JackClient::ReachesPhysicalPort(const JackSlot &slot, const std::string &device) const {
  AssertGuiThread();
  if (!Alive()) return false;
  const auto physical = [this](const char *name) {
    const jack_port_t *other = jack_port_by_name(core_->client, name);
    return other && (jack_port_flags(other) & JackPortIsPhysical);
  };
  // The device first: our port may still be on its way to the server.
  if (!device.empty() && physical(device.c_str())) return true;
  jack_port_t *port = slot.port.load();
  if (!port) return false;
  const char **connections = jack_port_get_all_connections(core_->client, port);
  if (!connections) return false;
  bool any = false;
  for (const char **name = connections; *name && !any; ++name) any = physical(*name);
  jack_free(connections);
  return any;
}

void JackClient::WaitForCycles(uint64_t count, milliseconds limit) const {
  AssertGuiThread();
  const uint64_t until = core_->cycles.load() + count;
  const auto giveUp = Clock::now() + limit;
  while (Alive() && core_->cycles.load() < until && Clock::now() < giveUp)
    std::this_thread::sleep_for(std::chrono::microseconds(200));
}

void JackClient::AttachOutput(JackSlot &slot, MidiOutQueue &queue, bool waitForConnection) {
  AssertGuiThread();
  // Held until the connection is made (Link releases it), or written at once for our port left
  // for others to connect.
  slot.holdUntilCycle.store(waitForConnection ? UINT64_MAX : 0);
  slot.queue.store(&queue);
}

void JackClient::DetachOutput(JackSlot &slot) {
  AssertGuiThread();
  slot.queue.store(nullptr);
  core_->Quiesce();
}

void JackClient::AttachInput(JackSlot &slot, const JackInputTarget &target) {
  AssertGuiThread();
  slot.target.store(&target);
}

void JackClient::DetachInput(JackSlot &slot) {
  AssertGuiThread();
  slot.target.store(nullptr);
  core_->Quiesce();
}
