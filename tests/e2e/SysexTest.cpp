// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The SysEx page through its dialogs: a .syx file sent to the output, a dump from the input
// recorded into a .syx file.

#include <QFile>

#include "E2eSupport.h"

namespace e2e {
namespace {

constexpr int kSysexPage = 2;
// Button centres on the SysEx page, in page coordinates.
const QPoint kSendButton(96, 24);
const QPoint kReceiveButton(272, 24);
const QPoint kDoneButton(184, 64);

class Sysex : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    if (HasFatalFailure()) return;
    IniFile::Write(settings, PeerSettings(graph, peer));
  }

  // The done button is enabled (a reception runs) when its caption is drawn in black.
  static bool DoneButtonEnabled(Kelvane &app) {
    const QImage image = app.Screenshot();
    const QRect button(app.PageOrigin() + QPoint(16, 52), QSize(336, 25));
    int dark = 0;
    for (int y = button.top() + 4; y < button.bottom() - 4; ++y)
      for (int x = button.left() + 4; x < button.right() - 4; ++x) {
        const QRgb pixel = image.pixel(x, y);
        dark += qRed(pixel) < 60 && qGreen(pixel) < 60 && qBlue(pixel) < 60;
      }
    return dark > 30;
  }
};

QByteArray ReadAll(const QString &fileName) {
  QFile file(fileName);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST_F(Sysex, FileChosenInTheDialogArrivesByteExact) {
  // Three messages, one longer than a piece the JACK path carries at once.
  const QByteArray content = SysExOfLength(10, 4) + SysExOfLength(5000, 5) + SysExOfLength(266, 6);
  const QString file = dir.filePath("patch.syx");
  IniFile::Write(file, content);

  Kelvane app(settings);
  ASSERT_NO_FATAL_FAILURE(StartConnected(app));
  app.ShowPage(kSysexPage);
  app.Click(app.PageOrigin() + kSendButton);
  ASSERT_NO_FATAL_FAILURE(AnswerFileDialog(app, "select the sysex file to send", file));
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
  app.ShowPage(kSysexPage);
  app.Click(app.PageOrigin() + kReceiveButton);
  // A name without the extension: ".syx" is added.
  ASSERT_NO_FATAL_FAILURE(
      AnswerFileDialog(app, "enter the file name for sysex data", dir.filePath("dump")));
  ASSERT_TRUE(app.FocusMain());
  ASSERT_TRUE(WaitUntil([&] { return DoneButtonEnabled(app); })) << "no reception started";

  // A synthesizer's dump: blocks of 266 bytes, a short one, and one longer than an input buffer.
  const std::vector<QByteArray> dump = {SysExOfLength(266, 1), SysExOfLength(266, 2),
                                        SysExOfLength(12, 3), SysExOfLength(6000, 4)};
  QByteArray expected;
  for (const QByteArray &message : dump) expected += message;
  peer.Send(dump);
  ASSERT_TRUE(WaitUntil([&] { return peer.SendsDone(); }));
  Settle();  // the last notices reach the window
  app.Click(app.PageOrigin() + kDoneButton);

  const QString saved = dir.filePath("dump.syx");
  ASSERT_TRUE(WaitUntil([&] { return QFile::exists(saved); })) << "no file written";
  ASSERT_TRUE(WaitUntil([&] { return !DoneButtonEnabled(app); }));
  const QByteArray got = ReadAll(saved);
  EXPECT_EQ(got.size(), expected.size());
  EXPECT_TRUE(got == expected) << "the recorded bytes differ";
}

}  // namespace
}  // namespace e2e
