// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "E2eSupport.h"

namespace e2e {

JackGraph::JackGraph() {
  client_ = jack_client_open("e2e-probe", JackNoStartServer, nullptr);
}

JackGraph::~JackGraph() {
  if (client_) jack_client_close(client_);
}

int JackGraph::IndexOf(unsigned long flags, const std::string &port) const {
  if (!client_) return -1;
  const char **ports = jack_get_ports(client_, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
  // Kelvane numbers its devices without its own ports.
  int index = -1, number = 0;
  for (int i = 0; ports && ports[i]; ++i) {
    if (std::string(ports[i]).rfind("Kelvane", 0) == 0) continue;
    if (port == ports[i]) index = number;
    ++number;
  }
  jack_free(ports);
  return index;
}

int JackGraph::OutputDeviceIndex(const std::string &port) const {
  return IndexOf(JackPortIsInput, port);
}

int JackGraph::InputDeviceIndex(const std::string &port) const {
  return IndexOf(JackPortIsOutput, port);
}

std::vector<std::string> JackGraph::Connections(const std::string &port) const {
  std::vector<std::string> names;
  if (!client_) return names;
  jack_port_t *handle = jack_port_by_name(client_, port.c_str());
  if (!handle) return names;
  const char **connections = jack_port_get_all_connections(client_, handle);
  for (int i = 0; connections && connections[i]; ++i) names.emplace_back(connections[i]);
  jack_free(connections);
  return names;
}

bool JackGraph::ConnectedToKelvane(const std::string &port) const {
  for (const std::string &name : Connections(port))
    if (name.rfind("Kelvane", 0) == 0) return true;
  return false;
}

bool Peer::WaitForMessages(size_t count, int timeoutMs) {
  return WaitUntil([&] { return MessageCount() >= count; }, timeoutMs);
}

QByteArray PeerSettings(const JackGraph &graph, const Peer &peer, const QByteArray &more) {
  const int out = graph.OutputDeviceIndex(peer.InPort());
  const int in = graph.InputDeviceIndex(peer.OutPort());
  EXPECT_GE(out, 0);
  EXPECT_GE(in, 0);
  return QStringLiteral("[setup]\nout=%1\nin=%2\npole=0\n").arg(out).arg(in).toUtf8() + more;
}

void E2eTest::SetUp() {
  ASSERT_FALSE(XDisplay().isEmpty()) << "no private X display (the xvfb fixture)";
  ASSERT_TRUE(graph.Ok()) << "no JACK server named " << qgetenv("JACK_DEFAULT_SERVER").constData();
  ASSERT_TRUE(peer.Ok());
}

void E2eTest::StartConnected(Kelvane &app) {
  app.Start();
  ASSERT_TRUE(app.WaitForWindow()) << app.Output().toStdString();
  // The ports open before the window shows; other programs on the same server could have
  // changed the device lists in between, which these checks would show.
  ASSERT_TRUE(WaitUntil([&] { return graph.ConnectedToKelvane(peer.InPort()); }, 5000))
      << "Kelvane's output is not connected to " << peer.InPort();
  ASSERT_TRUE(WaitUntil([&] { return graph.ConnectedToKelvane(peer.OutPort()); }, 5000))
      << "Kelvane's input is not connected to " << peer.OutPort();
}

}  // namespace e2e
