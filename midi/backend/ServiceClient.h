// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "MidiWake.h"

// The one client of a MIDI service that Kelvane keeps (a JACK client, a sequencer client):
// opened on first use, and afresh once the one before has died (a server that comes back), so
// that a service that starts late is found at the next look. GUI thread only.
template <class Client>
class ServiceClient {
 public:
  // The client, or null when the service does not answer now.
  std::shared_ptr<Client> Current() {
    if (client_ && client_->Alive()) return client_;
    client_ = Client::Open();  // a dead client stays with the connections still open on it
    if (client_ && devicesWake_) {
      client_->WatchDevices(devicesWake_);
      devicesWake_->Signal();  // a service that came (back) brings its devices with it
    }
    return client_;
  }

  // Device changes of this client and of every later one signal `wake`.
  void WatchDevices(MidiWake *wake) {
    devicesWake_ = wake;
    if (client_) client_->WatchDevices(wake);
  }

 private:
  std::shared_ptr<Client> client_;
  MidiWake *devicesWake_ = nullptr;
};
