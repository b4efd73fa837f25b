// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The SysEx page through its dialogs: a .syx file sent to the output, a dump from the input
// recorded into a .syx file.

#include "E2eSupport.h"

namespace e2e {
namespace {

class Sysex : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    if (HasFatalFailure()) return;
    IniFile::Write(settings, PeerSettings(graph, peer));
  }
};

TEST_F(Sysex, FileChosenInTheDialogArrivesByteExact) {
  // Three messages, one longer than a piece the JACK path carries at once.
  const QByteArray content = SysExOfLength(10, 4) + SysExOfLength(5000, 5) + SysExOfLength(266, 6);
  const QString file = dir.filePath("patch.syx");
  IniFile::Write(file, content);

  Kelvane app(settings);
  ASSERT_NO_FATAL_FAILURE(StartConnected(app));
  app.ShowPage(sysexpage::kPage);
  ASSERT_NO_FATAL_FAILURE(SendSysExFile(app, file));
  ASSERT_TRUE(WaitUntil([&] { return peer.Received().size() >= content.size(); }))
      << peer.Received().size() << " of " << content.size() << " bytes arrived";
  Settle();
  EXPECT_FALSE(peer.LostAny());
  EXPECT_EQ(peer.Received().size(), content.size());
  EXPECT_TRUE(peer.Received() == content) << "the bytes differ";
}

TEST_F(Sysex, DumpRecordedThroughTheDialogsIsSavedByteExact) {
  Kelvane app(settings);
  ASSERT_NO_FATAL_FAILURE(StartConnected(app));
  app.ShowPage(sysexpage::kPage);
  // A name without the extension: ".syx" is added.
  ASSERT_NO_FATAL_FAILURE(StartRecording(app, dir.filePath("dump")));

  // A synthesizer's dump: blocks of 266 bytes, a short one, and one longer than an input buffer.
  const std::vector<QByteArray> dump = {SysExOfLength(266, 1), SysExOfLength(266, 2),
                                        SysExOfLength(12, 3), SysExOfLength(6000, 4)};
  QByteArray expected;
  for (const QByteArray &message : dump) expected += message;
  peer.Send(dump);
  ASSERT_TRUE(WaitUntil([&] { return peer.SendsDone(); }));
  Settle();  // the last notices reach the window
  bool overran = false;
  const QByteArray got = FinishRecording(app, dir.filePath("dump"), &overran);
  if (overran && got != expected) GTEST_SKIP() << "the server overran: the dump is not whole";
  EXPECT_EQ(got.size(), expected.size());
  EXPECT_TRUE(got == expected) << "the recorded bytes differ";
}

}  // namespace
}  // namespace e2e
