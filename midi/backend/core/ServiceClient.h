// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <memory>

#include "MidiWake.h"

// The one client of a MIDI service that Kelvane keeps (a JACK client, a sequencer client):
// opened on first use, and afresh once the one before has died or failed to open (a server that
// comes back), so that a service that starts late is found at the next look. A client whose open
// the service has not answered yet is waited for, never waited on: its answer wakes the device
// watch. GUI thread only, but for WaitForAnswer.
template <class Client>
class ServiceClient {
 public:
  // The client, or null when the service does not answer now.
  std::shared_ptr<Client> Current() {
    if (!client_ || !(client_->Alive() || client_->Opening())) Reopen();
    return client_ && client_->Alive() ? client_ : nullptr;
  }

  // Not on the GUI thread: opens the client and waits at most `limit` for the service to answer.
  bool WaitForAnswer(std::chrono::milliseconds limit) {
    Current();
    return client_ && client_->WaitForAnswer(limit);
  }

  // Device changes of this client and of every later one signal `wake`.
  void WatchDevices(MidiWake *wake) {
    devicesWake_ = wake;
    if (client_) client_->WatchDevices(wake);
  }

 private:
  void Reopen() {
    client_ = Client::Open();  // a dead client stays with the connections still open on it
    if (!client_ || !devicesWake_) return;
    client_->WatchDevices(devicesWake_);  // from now on it tells, also when its open succeeds
    if (client_->Alive()) devicesWake_->Signal();  // it came (back) with its devices already
  }

  std::shared_ptr<Client> client_;
  MidiWake *devicesWake_ = nullptr;
};
