// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The JACK end of the whole-program benchmarks: a client that time-stamps every MIDI event
// reaching its input port, and (for the transport floor) sends short messages queued by another
// thread from its output port.

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace bench {

// One event as it arrived: when (microseconds on jack_get_time()'s clock: the process callback's
// time plus the event's offset in the period), how long, and its first three bytes.
struct Arrival {
  uint64_t micros;
  uint32_t size;
  uint8_t bytes[3];
};

class BenchJackPeer {
 public:
  // `withOutput`: also registers "out", fed by QueueShort.
  // `physical`: "in" stands for a cable, as a bridge to hardware's port does.
  BenchJackPeer(const char *name, bool withInput, bool withOutput, bool physical = false) {
    client_ = jack_client_open(name, JackNoStartServer, nullptr);
    if (!client_) return;
    const unsigned long cable = physical ? JackPortIsPhysical | JackPortIsTerminal : 0;
    if (withInput)
      in_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput | cable, 0);
    if (withOutput)
      out_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    arrivals_ = jack_ringbuffer_create(sizeof(Arrival) * (1u << 16));
    outgoing_ = jack_ringbuffer_create(4096);
    microsPerFrame_ = 1e6 / jack_get_sample_rate(client_);
    jack_set_process_callback(client_, &Process, this);
    jack_activate(client_);
  }
  ~BenchJackPeer() {
    if (client_) {
      jack_deactivate(client_);
      jack_client_close(client_);
    }
    if (arrivals_) jack_ringbuffer_free(arrivals_);
    if (outgoing_) jack_ringbuffer_free(outgoing_);
  }
  BenchJackPeer(const BenchJackPeer &) = delete;
  BenchJackPeer &operator=(const BenchJackPeer &) = delete;

  bool Ok() const { return client_ != nullptr; }
  jack_client_t *Client() const { return client_; }
  std::string InputName() const { return in_ ? jack_port_name(in_) : ""; }
  std::string OutputName() const { return out_ ? jack_port_name(out_) : ""; }
  jack_nframes_t Period() const { return jack_get_buffer_size(client_); }
  jack_nframes_t Rate() const { return jack_get_sample_rate(client_); }
  bool InputConnected() const { return in_ && jack_port_connected(in_) > 0; }

  // Main thread: the next recorded arrival, if any.
  std::optional<Arrival> Next() {
    if (jack_ringbuffer_read_space(arrivals_) < sizeof(Arrival)) return std::nullopt;
    Arrival arrival;
    jack_ringbuffer_read(arrivals_, reinterpret_cast<char *>(&arrival), sizeof arrival);
    return arrival;
  }
  uint64_t EventsSeen() const { return events_.load(std::memory_order_relaxed); }
  uint64_t BytesSeen() const { return bytes_.load(std::memory_order_relaxed); }
  uint64_t RecordsLost() const { return lost_.load(std::memory_order_relaxed); }

  // Main thread: a three-byte message for the next process cycle to send at offset 0.
  bool QueueShort(uint8_t status, uint8_t data1, uint8_t data2) {
    if (jack_ringbuffer_write_space(outgoing_) < 3) return false;
    const char message[3] = {static_cast<char>(status), static_cast<char>(data1),
                             static_cast<char>(data2)};
    jack_ringbuffer_write(outgoing_, message, 3);
    return true;
  }

 private:
  // JACK's process thread: no locks, no allocation, no printing.
  static int Process(jack_nframes_t frames, void *self) {
    auto &peer = *static_cast<BenchJackPeer *>(self);
    const jack_time_t now = jack_get_time();
    if (peer.in_) peer.Record(jack_port_get_buffer(peer.in_, frames), now);
    if (peer.out_) peer.Emit(jack_port_get_buffer(peer.out_, frames));
    return 0;
  }
  void Record(void *buffer, jack_time_t now) {
    const jack_nframes_t count = jack_midi_get_event_count(buffer);
    for (jack_nframes_t i = 0; i < count; ++i) {
      jack_midi_event_t event;
      if (jack_midi_event_get(&event, buffer, i) != 0) continue;
      events_.fetch_add(1, std::memory_order_relaxed);
      bytes_.fetch_add(event.size, std::memory_order_relaxed);
      Arrival arrival{now + static_cast<uint64_t>(event.time * microsPerFrame_),
                      static_cast<uint32_t>(event.size),
                      {0, 0, 0}};
      std::memcpy(arrival.bytes, event.buffer, std::min<size_t>(event.size, 3));
      if (jack_ringbuffer_write_space(arrivals_) < sizeof arrival) {
        lost_.fetch_add(1, std::memory_order_relaxed);
        continue;
      }
      jack_ringbuffer_write(arrivals_, reinterpret_cast<const char *>(&arrival), sizeof arrival);
    }
  }
  void Emit(void *buffer) {
    jack_midi_clear_buffer(buffer);
    char message[3];
    while (jack_ringbuffer_read_space(outgoing_) >= 3) {
      jack_ringbuffer_read(outgoing_, message, 3);
      jack_midi_event_write(buffer, 0, reinterpret_cast<jack_midi_data_t *>(message), 3);
    }
  }

  jack_client_t *client_ = nullptr;
  jack_port_t *in_ = nullptr;
  jack_port_t *out_ = nullptr;
  jack_ringbuffer_t *arrivals_ = nullptr;  // written by the process thread, read by main
  jack_ringbuffer_t *outgoing_ = nullptr;  // written by main, read by the process thread
  double microsPerFrame_ = 0;
  std::atomic<uint64_t> events_{0};
  std::atomic<uint64_t> bytes_{0};
  std::atomic<uint64_t> lost_{0};
};

// The place of `portName` in the list of JACK MIDI ports with `flags` (JackPortIsInput: what
// Kelvane offers as outputs; JackPortIsOutput: its inputs), in the server's order, which is the
// order RtMidi numbers them in; -1 when absent.
inline int JackMidiPortIndex(jack_client_t *client, const std::string &portName,
                             unsigned long flags) {
  const char **ports = jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
  int found = -1;
  for (int i = 0; ports && ports[i]; ++i)
    if (portName == ports[i]) found = i;
  if (ports) jack_free(ports);
  return found;
}

}  // namespace bench
