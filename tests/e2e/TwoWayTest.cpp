// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Two-way with the synth: the peer turns a knob, teaches a knob its message, the monitor shows
// and saves what passed, and Alt+click glides the knobs to a snapshot.

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <map>

#include "E2eSupport.h"

namespace e2e {
namespace {

constexpr int kSetupPage = 3;
const QPoint kKnob1(8, 15);
const QPoint kSnapshot1(14, 136);
const QPoint kLearnButton(444, 27);  // page coordinates: in "Knob Setup", right of the channel

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

TEST_F(TwoWay, LearnTakesControlChange74OnChannel3AndTheKnobSendsIt) {
  Kelvane app(settings);
  ASSERT_NO_FATAL_FAILURE(Start(app));
  app.ShowPage(kSetupPage);
  app.Click(app.PageOrigin() + kLearnButton);
  Settle();
  ASSERT_NO_FATAL_FAILURE(PeerSends({Bytes({0xB2, 74, 64})}));
  ASSERT_TRUE(WaitUntil(
      [&] { return IniFile::Read(settings).Value("knob", "knobctrlno1") == QString("74"); }));
  const IniFile stored = IniFile::Read(settings);
  EXPECT_EQ(stored.ValueOr("knob", "knobchannel1", "missing"), "2");
  EXPECT_EQ(stored.ValueOr("knob", "knobctrl1", "missing"), "176");
  app.ShowPage(0);
  ASSERT_NO_FATAL_FAILURE(DragKnob1(app));
  EXPECT_EQ(Hex(peer.Messages().back()), Hex(Bytes({0xB2, 74, 0})));
}

TEST_F(TwoWay, TheMonitorShowsASentAndAReceivedMessageAndSavesThem) {
  Kelvane app(settings);
  ASSERT_NO_FATAL_FAILURE(Start(app));
  app.Key("ctrl+m");
  const auto monitor = app.WaitForDialog("Kelvane monitor");
  ASSERT_TRUE(monitor.has_value());
  ASSERT_TRUE(app.FocusMain());
  ASSERT_NO_FATAL_FAILURE(DragKnob1(app));
  ASSERT_NO_FATAL_FAILURE(PeerSends({Bytes({0xB0, 7, 99})}));
  Settle();
  app.Screenshot(*monitor, ArtefactDir() + "/monitor.png");
  ASSERT_TRUE(app.Focus(*monitor));
  app.Key("ctrl+s");
  const QString file = dir.filePath("monitor.txt");
  ASSERT_NO_FATAL_FAILURE(AnswerFileDialog(app, "save the MIDI monitor as text", file));
  ASSERT_TRUE(WaitUntil([&] { return QFile::exists(file); }));
  QFile saved(file);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromUtf8(saved.readAll()).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 3) << lines.join('\n').toStdString();
  EXPECT_TRUE(lines[1].contains(QRegularExpression("out +e2e-peer:in +1 +ControlChange +24 0")))
      << lines[1].toStdString();
  EXPECT_TRUE(
      lines[2].contains(QRegularExpression("in +e2e-peer:out +1 +ControlChange +7 99 +Volume")))
      << lines[2].toStdString();
}

TEST_F(TwoWay, AltClickGlidesFromAllMinToAllMaxInAboutASecond) {
  QByteArray snapshot = "[Button1]\n";
  for (int k = 1; k <= 22; ++k) snapshot += QStringLiteral("knob%1=127\n").arg(k).toUtf8();
  Kelvane app(settings);
  ASSERT_NO_FATAL_FAILURE(Start(app, "morphms=1000\n" + snapshot));
  QElapsedTimer clock;
  app.Click(kSnapshot1, "alt");
  clock.start();
  // Every knob's last message carries 127.
  const auto allAtMax = [&] {
    std::map<int, int> last;
    for (const QByteArray &m : peer.Messages()) last[m[1]] = m[2];
    return last.size() == 22 &&
           std::all_of(last.begin(), last.end(), [](const auto &e) { return e.second == 127; });
  };
  ASSERT_TRUE(WaitUntil(allAtMax, 5000));
  const qint64 took = clock.elapsed();
  EXPECT_GE(took, 800);
  EXPECT_LE(took, 1800);
  std::map<int, std::vector<int>> values;
  for (const QByteArray &m : peer.Messages()) {
    ASSERT_EQ(uint8_t(m[0]), 0xB0);
    values[m[1]].push_back(m[2]);
  }
  for (const auto &[controller, sent] : values) {
    EXPECT_GE(sent.size(), 10u) << "controller " << controller;
    EXPECT_TRUE(std::adjacent_find(sent.begin(), sent.end(), std::greater_equal<int>()) ==
                sent.end())
        << "controller " << controller << " does not rise";
  }
}

}  // namespace
}  // namespace e2e
