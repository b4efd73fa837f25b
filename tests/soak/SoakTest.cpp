// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// A bounded soak of the whole window over a real JACK server: random knob moves, keyboard
// steps, keys, snapshots, schemes, channel and device changes, with the server killed and
// started again halfway. Nothing may crash, every message that reaches the peer must be valid
// MIDI (no data byte of 128 or more where a data byte belongs), and memory must stay flat.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QTabWidget>
#include <QTemporaryDir>
#include <cstdlib>
#include <random>

#include "DragTweak.h"
#include "FakeDialogs.h"
#include "JackPeer.h"
#include "MIDIappUtil.h"
#include "MidiBackends.h"
#include "MouseUpButton.h"
#include "RadioGroup.h"
#include "Unit1.h"
#include "knob.h"

namespace {

// Resident memory of this process in KiB.
long ResidentKiB() {
  QFile status("/proc/self/status");
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray &line : status.readAll().split('\n'))
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ')[0].toLong();
  return 0;
}

// Empty when `bytes` is a run of whole, valid MIDI messages; otherwise what is wrong where.
QString InvalidMidi(const QByteArray &bytes) {
  qsizetype i = 0;
  while (i < bytes.size()) {
    const uint8_t status = static_cast<uint8_t>(bytes[i]);
    if (status < 0x80) return QString("data byte %1 without a status at %2").arg(status).arg(i);
    qsizetype length = 0;
    if (status == 0xF0) {
      qsizetype end = bytes.indexOf(char(0xF7), i);
      if (end < 0) return QString("SysEx at %1 never ends").arg(i);
      length = end - i;
      for (qsizetype j = i + 1; j < end; ++j)
        if (static_cast<uint8_t>(bytes[j]) >= 0x80)
          return QString("status inside SysEx at %1").arg(j);
      i = end + 1;
      continue;
    }
    const int kind = status >> 4;
    length = (kind == 0xC || kind == 0xD) ? 1 : (status >= 0xF0 ? 0 : 2);
    for (qsizetype j = 1; j <= length; ++j) {
      if (i + j >= bytes.size()) return QString("message at %1 is cut short").arg(i);
      if (static_cast<uint8_t>(bytes[i + j]) >= 0x80)
        return QString("data byte %1 at %2").arg(static_cast<uint8_t>(bytes[i + j])).arg(i + j);
    }
    i += 1 + length;
  }
  return QString();
}

class Soak : public ::testing::Test {
 protected:
  void SetUp() override {
    server = qgetenv("KELVANE_SOAK_SERVER").toStdString();
    if (server.empty()) GTEST_SKIP() << "needs a JACK server of its own";
    qputenv("JACK_DEFAULT_SERVER", server.c_str());
    ASSERT_EQ(Jack("start"), 0);
    seconds = qEnvironmentVariableIntValue("KELVANE_SOAK_SECONDS");
    if (seconds <= 0) seconds = 60;
  }
  void TearDown() override {
    if (!server.empty()) Jack("stop");
  }

  int Jack(const char *command) {
    return std::system((std::string(KELVANE_JACK_SCRIPT) + " " + command + " " + server).c_str());
  }

  // Makes the window send to the peer's input port again.
  void SendToPeer(TForm1 &w, JackPeer &peer) {
    const QString port = QString::fromStdString(peer.Name()) + ":in";
    w.midiout->setCurrentIndex(w.midiout->findText(port, Qt::MatchContains));
    w.Guard([&] { w.midioutChange(w.midiout); });
  }

  void RandomAction(TForm1 &w, std::mt19937 &rng) {
    auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    tknob *dial = w.knob[pick(22)];
    switch (pick(14)) {
      case 0:
      case 1:
        dial->SetPosition(pick(200) - 30);
        w.knob1MouseMove(dial, pick(2) ? TShiftState(ssLeft) : (ssShift | ssLeft), 0, 0);
        break;
      case 2:
        w.TweakKnob(dial, pick(2));
        break;
      case 3:
        w.Button1MouseUp(w.snapshotButton[pick(32)], mbLeft, ssShift, 0, 0);
        break;
      case 4:
        w.ssItem[pick(32)]->trigger();
        break;
      case 5:
        w.channel->setCurrentIndex(pick(34) - 1);
        break;
      case 6:
        w.kchannel->setChecked(pick(2));
        dial->SetTag3(static_cast<uint16_t>(pick(40)));
        dial->SetTag2(static_cast<uint16_t>(pick(140)));
        dial->SetTag1(static_cast<uint16_t>(pick(5) ? 160 + 16 * pick(4) : pick(300)));
        break;
      case 7: {
        static const uint16_t keys[] = {0x5A, 0x53, 0x51, 0x49, 0xDC, 0x20, 0x72, 0x73,
                                        0x76, 0x77, 0x60, 0x63, 0x6A, 0x41, 0xBC, 0x39};
        uint16_t key = keys[pick(16)];
        TShiftState shift = pick(4) ? TShiftState() : TShiftState(ssShift);
        w.PageControl1->setCurrentIndex(pick(3) ? 1 : 0);
        w.comkeymode->SetItemIndex(pick(2));
        if (pick(2))
          w.FormKeyDown(&w, key, shift);
        else
          w.FormKeyUp(&w, key, shift);
        break;
      }
      case 8:
        w.playmode->SetPosition(pick(11));
        w.interval->SetPosition(pick(7));
        w.vel->SetPosition(pick(128));
        w.velMouseUp(w.vel, mbLeft, {}, 0, 0);
        break;
      case 9:
        w.midiout->setCurrentIndex(pick(w.midiout->count() + 1) - 1);
        w.midioutChange(w.midiout);
        break;
      case 10:
        w.Panic1->trigger();
        break;
      case 11:
        dialogs.confirmAnswers.push_back(pick(2));
        w.Button33MouseUp(w.schemeButton[pick(12)], mbLeft, pick(3) ? TShiftState() : ssShift, 0,
                          0);
        break;
      case 12:
        (pick(2) ? w.maxx : w.Minn)->trigger();
        break;
      case 13:
        w.speed->SetPosition(pick(49));
        w.tknobs[pick(5)]->SetPosition(pick(128));
        w.tknob1MouseMove(w.tknobs[0], ssLeft, 0, 0);
        w.tknob3MouseUp(w.tknobs[2], mbLeft, {}, 0, 0);
        break;
    }
  }

  std::string server;
  int seconds = 60;
  FakeDialogs dialogs;
};

}  // namespace

TEST_F(Soak, RandomUseKeepsEveryMessageValidAndMemoryFlat) {
  QTemporaryDir dir;
  auto peer = std::make_unique<JackPeer>("soakpeer");
  ASSERT_TRUE(peer->Ok());
  auto backend = CreateMidiBackend("jack");
  TForm1 w(*backend, dir.filePath("kelvane.ini"));
  w.show();
  SendToPeer(w, *peer);
  ASSERT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("|").toStdString();

  std::mt19937 rng(20261208);
  // Every chunk is checked as it comes and then dropped, so the test itself holds no memory.
  QString invalid;
  auto check = [&] {
    if (invalid.isEmpty()) invalid = InvalidMidi(peer->TakeReceived());
  };
  QElapsedTimer clock;
  clock.start();
  const qint64 total = seconds * 1000LL;
  long warmResident = 0;
  bool serverRestarted = false;
  long actions = 0;
  while (clock.elapsed() < total) {
    for (int i = 0; i < 200; ++i, ++actions) w.Guard([&] { RandomAction(w, rng); });
    if (rng() % 8 == 0) SendToPeer(w, *peer);
    QApplication::processEvents();
    check();
    if (!warmResident && clock.elapsed() > total / 5) warmResident = ResidentKiB();
    if (!serverRestarted && clock.elapsed() > total / 2) {
      // The MIDI server dies under the running window, then comes back.
      check();
      peer.reset();
      ASSERT_EQ(Jack("stop"), 0);
      for (int i = 0; i < 500; ++i) w.Guard([&] { RandomAction(w, rng); });
      QApplication::processEvents();
      ASSERT_EQ(Jack("start"), 0);
      peer = std::make_unique<JackPeer>("soakpeer");
      ASSERT_TRUE(peer->Ok());
      QStringList names;
      w.engine->ListOutputs(names);
      w.midiout->clear();
      w.midiout->addItems(names);
      SendToPeer(w, *peer);
      serverRestarted = true;
    }
  }
  check();
  EXPECT_TRUE(invalid.isEmpty()) << invalid.toStdString();
  EXPECT_GT(peer->EventsReceived(), 0u) << "the window sends again once the server is back";
  EXPECT_FALSE(peer->LostAny());
  const long grown = ResidentKiB() - warmResident;
#if !defined(__SANITIZE_ADDRESS__)
  // (AddressSanitizer holds freed memory back on purpose, so only a plain build can tell.)
  EXPECT_LT(grown, 16 * 1024) << "resident memory grew by " << grown << " KiB over " << actions
                              << " actions";
#endif
  std::printf("soak: %ld actions in %d s, %ld error boxes, memory grew %ld KiB\n", actions, seconds,
              static_cast<long>(dialogs.errors.size()), grown);
}
