// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The end-to-end tests on JACK: Kelvane's MIDI ports on the private JACK server, and a JACK peer
// that records what arrives and sends dumps. The only other threads are JACK's (inside the peer).

#include <jack/jack.h>

#include <QTemporaryDir>

#include "E2eCommon.h"
#include "JackPeer.h"

namespace e2e {

// The JACK graph as Kelvane sees it: its output devices are the MIDI input ports of the server
// and its input devices the MIDI output ports, in the server's order.
class JackGraph {
 public:
  JackGraph();
  ~JackGraph();
  JackGraph(const JackGraph &) = delete;
  JackGraph &operator=(const JackGraph &) = delete;

  bool Ok() const { return client_ != nullptr; }
  // Index of `port` in Kelvane's output device list (-1 when absent).
  int OutputDeviceIndex(const std::string &port) const;
  // Index of `port` in Kelvane's input device list (-1 when absent).
  int InputDeviceIndex(const std::string &port) const;
  // Whether `port` is connected to a port of Kelvane's own clients.
  bool ConnectedToKelvane(const std::string &port) const;
  std::vector<std::string> Connections(const std::string &port) const;

 private:
  int IndexOf(unsigned long flags, const std::string &port) const;
  jack_client_t *client_ = nullptr;
};

// The peer every test talks to, with the port names Kelvane lists.
class Peer : public JackPeer {
 public:
  Peer() : JackPeer("e2e-peer") {}
  std::string InPort() const { return Name() + ":in"; }
  std::string OutPort() const { return Name() + ":out"; }
  std::vector<QByteArray> Messages() { return SplitMessages(Received()); }
  size_t MessageCount() { return Messages().size(); }
  // Waits until `count` messages have arrived in all.
  bool WaitForMessages(size_t count, int timeoutMs = 10000);
};

// The settings a test starts with when Kelvane is to use the peer for output and input: the
// output device, the input device and horizontal dragging.
QByteArray PeerSettings(const JackGraph &graph, const Peer &peer, const QByteArray &more = {});

// Every end-to-end test: a temporary folder with the settings file, the JACK graph and the peer.
class E2eTest : public ::testing::Test {
 protected:
  void SetUp() override;
  // Starts `app`, waits for its window and for its output and input ports on the peer.
  void StartConnected(Kelvane &app);

  QTemporaryDir dir;
  QString settings = dir.filePath("kelvane.ini");
  JackGraph graph;
  Peer peer;
};

}  // namespace e2e
