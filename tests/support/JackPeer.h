// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <QByteArray>
#include <atomic>
#include <string>
#include <vector>

// The other end of the integration tests: a JACK client of its own with an input port that
// records every byte that arrives and an output port that sends a dump as fast as JACK carries
// it (as many whole messages per period as the period's buffer holds).
class JackPeer {
 public:
  // A `physical` peer's input port stands for a cable, as a bridge to hardware's does.
  explicit JackPeer(const char *name = "peer", bool physical = false) {
    client_ = jack_client_open(name, JackNoStartServer, nullptr);
    if (!client_) return;
    const unsigned long cable = physical ? JackPortIsPhysical | JackPortIsTerminal : 0;
    in_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput | cable, 0);
    out_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    received_ = jack_ringbuffer_create(1 << 23);
    jack_set_process_callback(client_, &Process, this);
    jack_activate(client_);
  }
  ~JackPeer() {
    if (client_) {
      jack_deactivate(client_);
      jack_client_close(client_);
    }
    if (received_) jack_ringbuffer_free(received_);
  }
  JackPeer(const JackPeer &) = delete;
  JackPeer &operator=(const JackPeer &) = delete;

  bool Ok() const { return client_ && in_ && out_; }
  std::string Name() const { return client_ ? jack_get_client_name(client_) : ""; }

  // GUI thread: what arrived since the last call, appended to everything before.
  const QByteArray &Received() {
    const size_t available = jack_ringbuffer_read_space(received_);
    if (available) {
      QByteArray chunk(static_cast<qsizetype>(available), 0);
      jack_ringbuffer_read(received_, chunk.data(), available);
      all_ += chunk;
    }
    return all_;
  }
  // GUI thread: what arrived since the last call, without keeping it (for long runs).
  QByteArray TakeReceived() {
    const size_t available = jack_ringbuffer_read_space(received_);
    QByteArray chunk(static_cast<qsizetype>(available), 0);
    if (available) jack_ringbuffer_read(received_, chunk.data(), available);
    return chunk;
  }
  bool LostAny() const { return lost_.load(); }
  size_t EventsReceived() const { return events_.load(); }
  size_t LargestEvent() const { return largest_.load(); }
  // Process cycles the peer has run; and the cycle in which the first All Sound Off arrived
  // (0 while none has).
  uint64_t Cycles() const { return cycles_.load(); }
  // Cycles of the peer that the server skipped (its wake-ups came too late): what they carried
  // to or from the peer is lost, and PipeWire's JACK does not count that as an xrun.
  uint64_t SkippedCycles() const { return skipped_.load(); }
  uint64_t AllSoundOffCycle() const { return allSoundOffCycle_.load(); }

  // Before SendsDone: the messages to send, each one JACK event.
  void Send(std::vector<QByteArray> messages) {
    outgoing_ = std::move(messages);
    next_.store(0, std::memory_order_release);
    sending_.store(true, std::memory_order_release);
  }
  bool SendsDone() const { return next_.load() >= outgoing_.size() && sending_.load(); }

 private:
  // JACK's thread: no locks, no allocation.
  static int Process(jack_nframes_t frames, void *self) {
    auto &peer = *static_cast<JackPeer *>(self);
    peer.cycles_.fetch_add(1);
    const jack_nframes_t start = jack_last_frame_time(peer.client_);
    if (peer.expectedStart_ && start != peer.expectedStart_) peer.skipped_.fetch_add(1);
    peer.expectedStart_ = start + frames;
    peer.Record(jack_port_get_buffer(peer.in_, frames));
    peer.Emit(jack_port_get_buffer(peer.out_, frames));
    return 0;
  }
  void Record(void *buffer) {
    const jack_nframes_t count = jack_midi_get_event_count(buffer);
    for (jack_nframes_t i = 0; i < count; ++i) {
      jack_midi_event_t event;
      if (jack_midi_event_get(&event, buffer, i) != 0) continue;
      if (jack_ringbuffer_write_space(received_) < event.size) {
        lost_.store(true);
        continue;
      }
      jack_ringbuffer_write(received_, reinterpret_cast<const char *>(event.buffer), event.size);
      events_.fetch_add(1);
      if (event.size > largest_.load()) largest_.store(event.size);
      const bool allSoundOff = event.size == 3 && (event.buffer[0] & 0xF0) == 0xB0 &&
                               event.buffer[1] == 120 && event.buffer[2] == 0;
      if (allSoundOff && allSoundOffCycle_.load() == 0) allSoundOffCycle_.store(cycles_.load());
    }
  }
  void Emit(void *buffer) {
    jack_midi_clear_buffer(buffer);
    if (!sending_.load(std::memory_order_acquire)) return;
    // Kelvane connects its input when the server gets to it, after OpenPort has returned: a
    // synth's messages before then reach nobody, so the peer waits for the connection.
    if (jack_port_connected(out_) == 0) return;
    size_t next = next_.load(std::memory_order_relaxed);
    while (next < outgoing_.size()) {
      const QByteArray &message = outgoing_[next];
      if (jack_midi_max_event_size(buffer) < static_cast<size_t>(message.size())) break;
      jack_midi_data_t *data = jack_midi_event_reserve(buffer, 0, message.size());
      if (!data) break;
      std::copy(message.begin(), message.end(), reinterpret_cast<char *>(data));
      ++next;
    }
    next_.store(next, std::memory_order_release);
  }

  jack_client_t *client_ = nullptr;
  jack_port_t *in_ = nullptr;
  jack_port_t *out_ = nullptr;
  jack_ringbuffer_t *received_ = nullptr;
  QByteArray all_;
  std::atomic<bool> lost_{false};
  std::atomic<size_t> events_{0};
  std::atomic<size_t> largest_{0};
  std::atomic<uint64_t> cycles_{0};
  std::atomic<uint64_t> skipped_{0};
  jack_nframes_t expectedStart_ = 0;  // JACK's thread's own
  std::atomic<uint64_t> allSoundOffCycle_{0};
  std::vector<QByteArray> outgoing_;
  std::atomic<size_t> next_{0};
  std::atomic<bool> sending_{false};
};
