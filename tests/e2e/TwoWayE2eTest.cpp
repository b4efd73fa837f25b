// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Two-way with the synth: the peer turns a knob, and Kelvane sends nothing back. Learn, the
// monitor and the glide are the window tests' (tests/app/TwoWayTest.cpp).

#include "E2eSupport.h"

namespace e2e {
namespace {

const QPoint kKnob1(8, 15);

class TwoWay : public E2eTest {
 protected:
  void Start(Kelvane &app, const QByteArray &more = {}) {
    IniFile::Write(settings, PeerSettings(graph, peer, more));
    ASSERT_NO_FATAL_FAILURE(StartConnected(app));
  }
  // The peer sends `messages` and they have left it.
  void PeerSends(std::vector<QByteArray> messages) {
    peer.Send(std::move(messages));
    ASSERT_TRUE(WaitUntil([&] { return peer.SendsDone(); }));
  }
  // One drag move on knob 1: it sends the position it had.
  void DragKnob1(Kelvane &app) {
    const QPoint from = app.PageOrigin() + kKnob1 + QPoint(15, 15);
    const size_t before = peer.MessageCount();
    app.MoveTo(from);
    app.Press();
    app.MoveTo(from + QPoint(2, 0));
    ASSERT_TRUE(peer.WaitForMessages(before + 1, 5000));
    app.Release();
  }
};

TEST_F(TwoWay, AControlChangeFromThePeerTurnsKnob1WithoutAnEcho) {
  Kelvane app(settings);
  ASSERT_NO_FATAL_FAILURE(Start(app));
  ASSERT_NO_FATAL_FAILURE(PeerSends({Bytes({0xB0, 24, 100})}));
  Settle(500);
  EXPECT_EQ(peer.MessageCount(), 0u) << "echoed: " << Hex(peer.Received());
  // Knob 1 stands at 100: a drag move sends the position it had.
  ASSERT_NO_FATAL_FAILURE(DragKnob1(app));
  EXPECT_EQ(Hex(peer.Messages().front()), Hex(Bytes({0xB0, 24, 100})));
}

}  // namespace
}  // namespace e2e
