// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Listening to the synth: knobs that follow the input, MIDI learn, the monitor, the glide to a
// snapshot; and the texts and models under them.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QPushButton>
#include <QTest>

#include "MidiIn.h"
#include "MidiText.h"
#include "MonitorLog.h"
#include "MonitorView.h"
#include "MonitorWindow.h"
#include "SnapshotMorph.h"
#include "SysExBytes.h"
#include "WindowFixture.h"
#include "knob.h"

namespace {

const QString kIn = QStringLiteral("Loopback In 1");

QByteArray Bytes(std::initializer_list<int> values) {
  QByteArray bytes;
  for (int v : values) bytes.append(static_cast<char>(v));
  return bytes;
}

class TwoWay : public WindowFixture {
 protected:
  // Delivers `message` on the input and lets the window's notice run.
  void Arrive(TForm1 &w, const QByteArray &message) {
    const auto before = w.MonitorHistory().NextSequence();
    ASSERT_TRUE(backend.Inject(kIn, message));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.MonitorHistory().NextSequence() > before; }));
  }
  // One drag move on `dial`: sends its position before the move.
  static void DragMove(tknob *dial) {
    QTest::mousePress(dial, Qt::LeftButton, {}, QPoint(10, 15));
    QTest::mouseMove(dial, QPoint(14, 15));
    QTest::mouseRelease(dial, Qt::LeftButton, {}, QPoint(14, 15));
  }
  // The values sent for controller `number` on channel 1, in order.
  std::vector<int> SentValues(int number) const {
    std::vector<int> values;
    for (const QByteArray &m : backend.Sent(kOut))
      if (m.size() == 3 && uint8_t(m[0]) == 0xB0 && m[1] == number) values.push_back(m[2]);
    return values;
  }
  QPushButton *Snapshot(TForm1 &w, int caption) {
    for (QPushButton *b : w.snapshotpanel->findChildren<QPushButton *>())
      if (b->text() == QString::number(caption)) return b;
    return nullptr;
  }
};

}  // namespace

TEST(MidiText, MakersAreReadNoFurtherThanTheMessageGoes) {
  const uint8_t roland[] = {0x41, 0x10}, behringer[] = {0x00, 0x20, 0x32}, other[] = {0x22};
  EXPECT_EQ(ManufacturerName(roland, 2), "Roland");
  EXPECT_EQ(ManufacturerName(behringer, 3), "Behringer");
  EXPECT_EQ(ManufacturerName(behringer, 2), "no ID");  // cut short: not read past the end
  EXPECT_EQ(ManufacturerName(other, 1), "ID 22");
}

TEST(MonitorLogTest, KeepsTheNewestEntriesUpToItsCapacity) {
  MonitorLog log(3);
  for (int v = 0; v < 10; ++v) {
    const uint8_t m[] = {0xB0, 7, static_cast<uint8_t>(v)};
    log.Add(v % 2 == 1, "synth", m, 3, 3600000 + 1500 + v);
  }
  ASSERT_EQ(log.Size(), 3u);
  EXPECT_EQ(log.FirstSequence(), 7u);
  EXPECT_EQ(log.NextSequence(), 10u);
  EXPECT_EQ(log.At(2).head[2], 9);
  const QString line = MonitorLog::Line(log.At(2));
  EXPECT_TRUE(line.startsWith("01:00:01.509  in   synth")) << line.toStdString();
  EXPECT_TRUE(line.endsWith("ControlChange     7 9                    Volume"))
      << line.toStdString();
  const QStringList lines = log.Text().split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 4);
  EXPECT_TRUE(lines[0].startsWith("time"));
  log.Clear();
  EXPECT_EQ(log.Size(), 0u);
  EXPECT_EQ(log.FirstSequence(), 10u);
}

TEST(SnapshotMorphTest, GlidesExactlyFromStartToTargetAndLetsTakenKnobsGo) {
  SnapshotMorph morph;
  SnapshotMorph::Positions from{}, to{};
  to.fill(127);
  from[1] = 127;
  to[1] = 0;
  from[2] = to[2] = 64;
  morph.Start(from, to, 1000);
  int previousUp = -1, previousDown = 128;
  for (int t = 0; t <= 1100; t += 10) {
    const int up = *morph.PositionAt(0, t), down = *morph.PositionAt(1, t);
    EXPECT_GE(up, previousUp);
    EXPECT_LE(down, previousDown);
    EXPECT_EQ(*morph.PositionAt(2, t), 64);
    previousUp = up;
    previousDown = down;
  }
  EXPECT_EQ(*morph.PositionAt(0, 0), 0);
  EXPECT_EQ(*morph.PositionAt(0, 500), 64);
  EXPECT_EQ(*morph.PositionAt(0, 1000), 127);
  EXPECT_EQ(*morph.PositionAt(1, 1000), 0);
  EXPECT_TRUE(morph.Finished(1000));
  morph.Release(0);
  EXPECT_FALSE(morph.PositionAt(0, 500).has_value());
  for (int i = 1; i < SnapshotMorph::kKnobs; ++i) morph.Release(i);
  EXPECT_FALSE(morph.Running());
}

TEST_F(TwoWay, KnobsThatWouldSendAMessageFollowItAndNothingIsEchoed) {
  auto w = OpenWithOutput();
  w->knob[5]->SetTag1(192);  // knob6: ProgramChange
  w->knob[6]->SetTag2(24);   // knob7 shares knob1's controller
  Arrive(*w, Bytes({0xB0, 24, 100}));
  EXPECT_EQ(w->knob[0]->Position(), 100);
  EXPECT_EQ(w->knob[6]->Position(), 100);
  EXPECT_EQ(w->knob[1]->Position(), 0);
  EXPECT_EQ(w->StatusText(), "from synth: ControlChange #24 = 100 ch 1 -> k1 k7");
  Arrive(*w, Bytes({0xC0, 33}));
  EXPECT_EQ(w->knob[5]->Position(), 33);
  Arrive(*w, Bytes({0xB1, 25, 90}));  // another channel: knob2 does not send there
  EXPECT_EQ(w->knob[1]->Position(), 0);
  w->knob[1]->SetTag3(1);
  w->kchannel->setChecked(true);
  Arrive(*w, Bytes({0xB1, 25, 90}));
  EXPECT_EQ(w->knob[1]->Position(), 90);
  EXPECT_TRUE(backend.Sent(kOut).empty());
  // The knob stands where the synth put it: the next drag move sends from there.
  w->kchannel->setChecked(false);
  DragMove(w->knob[0]);
  EXPECT_EQ(Sent(), QStringList({"B0 18 64"}));
}

TEST_F(TwoWay, KeyboardKnobsFollowBendModulationAndAftertouchOnTheGlobalChannel) {
  auto w = OpenWithOutput();
  Arrive(*w, Bytes({0xE0, 0x7F, 0x7F}));
  EXPECT_EQ(w->tknobs[0]->Position(), 127);
  Arrive(*w, Bytes({0xE0, 0x00, 0x20}));
  EXPECT_EQ(w->tknobs[0]->Position(), 32);
  Arrive(*w, Bytes({0xB0, 1, 70}));
  Arrive(*w, Bytes({0xD0, 50}));
  Arrive(*w, Bytes({0xA0, 40, 0}));
  Arrive(*w, Bytes({0xD5, 99}));  // not the global channel
  EXPECT_EQ(w->tknobs[2]->Position(), 70);
  EXPECT_EQ(w->tknobs[4]->Position(), 50);
  EXPECT_EQ(w->tknobs[3]->Position(), 40);
  EXPECT_TRUE(backend.Sent(kOut).empty());
}

TEST_F(TwoWay, LearnTakesTheNextKnobMessageAndTheKnobThenSendsIt) {
  auto w = OpenWithOutput();
  w->knobbox->setCurrentIndex(4);  // knob5
  w->knobboxChange(w->knobbox);
  w->learnbtn->click();
  EXPECT_TRUE(w->Learning());
  Arrive(*w, Bytes({0x92, 60, 100}));  // a note is no knob's message: learn waits on
  EXPECT_TRUE(w->Learning());
  Arrive(*w, Bytes({0xB2, 74, 80}));
  EXPECT_FALSE(w->Learning());
  EXPECT_FALSE(w->learnbtn->isChecked());
  EXPECT_EQ(w->StatusText(), "knob5 learned ControlChange #74 ch 3");
  tknob *knob5 = w->knob[4];
  EXPECT_EQ(std::vector<int>({knob5->Tag1(), knob5->Tag2(), knob5->Tag3()}),
            std::vector<int>({176, 74, 2}));
  EXPECT_TRUE(w->kchannel->isChecked());
  EXPECT_EQ(w->ctrl->currentIndex(), 1);
  EXPECT_EQ(w->ctrlno->currentIndex(), 74);
  EXPECT_EQ(w->knobchannel->currentIndex(), 2);
  EXPECT_EQ(Stored("knob", "knobctrlno5"), "74");
  EXPECT_EQ(Stored("knob", "knobchannel5"), "2");
  EXPECT_EQ(Stored("knob", "knobctrl5"), "176");
  DragMove(knob5);
  EXPECT_EQ(Sent(), QStringList({"B2 4A 00"}));

  // A channel aftertouch keeps the controller number; the global channel leaves "knob channel".
  w->kchannel->setChecked(false);
  w->learnbtn->click();
  Arrive(*w, Bytes({0xD0, 5}));
  EXPECT_EQ(std::vector<int>({knob5->Tag1(), knob5->Tag2(), knob5->Tag3()}),
            std::vector<int>({208, 74, 0}));
  EXPECT_FALSE(w->kchannel->isChecked());
  EXPECT_FALSE(w->ctrlno->isEnabled());
}

TEST_F(TwoWay, MonitorShowsSentAndReceivedMessagesAndSavesThem) {
  auto w = OpenWithOutput();
  w->Monitor1->trigger();
  ASSERT_NE(w->monitor, nullptr);
  EXPECT_EQ(w->monitor->windowTitle(), "Kelvane monitor");
  EXPECT_TRUE(w->monitor->isVisible());
  EXPECT_EQ(w->size(), QSize(529, 195));
  DragMove(w->knob[0]);
  Arrive(*w, Bytes({0xB0, 7, 100}));
  Arrive(*w, SysExOfLength(300, 1));
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->monitor->view->LineCount() == 3; }));
  const QStringList shown = w->monitor->view->ShownText().split('\n');
  EXPECT_TRUE(shown[1].contains("out  Loopback Out 1")) << shown[1].toStdString();
  EXPECT_TRUE(shown[1].contains("ControlChange     24 0")) << shown[1].toStdString();
  EXPECT_TRUE(shown[2].contains("in   Loopback In 1")) << shown[2].toStdString();
  EXPECT_TRUE(shown[2].endsWith("Volume")) << shown[2].toStdString();
  EXPECT_TRUE(shown[3].contains("SysEx")) << shown[3].toStdString();
  EXPECT_TRUE(shown[3].contains("300 bytes")) << shown[3].toStdString();

  // Paused, the view holds still and catches up afterwards.
  w->monitor->pausebtn->click();
  Arrive(*w, Bytes({0xB0, 74, 1}));
  QTest::qWait(80);
  EXPECT_EQ(w->monitor->view->LineCount(), 3);
  w->monitor->pausebtn->click();
  EXPECT_EQ(w->monitor->view->LineCount(), 4);

  dialogs.fileNames.push_back(dir.filePath("monitor.txt"));
  w->monitor->savebtn->click();
  QFile saved(dir.filePath("monitor.txt"));
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_EQ(QString::fromUtf8(saved.readAll()), w->monitor->view->ShownText() + "\n");
  w->monitor->clearbtn->click();
  EXPECT_EQ(w->monitor->view->LineCount(), 0);
  EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(TwoWay, MonitorKeepsItsPlaceAndDropsOneOffEveryScreen) {
  {
    auto w = Open();
    w->Monitor1->trigger();
    w->monitor->setGeometry(40, 50, 500, 300);
    w->monitor->close();
    EXPECT_EQ(Stored("setup", "monitorw"), "500");
  }
  {
    auto w = Open();
    w->Monitor1->trigger();
    EXPECT_EQ(w->monitor->geometry(), QRect(40, 50, 500, 300));
  }
  Store("setup", "monitorx", "-90000");
  auto w = Open();
  w->Monitor1->trigger();
  EXPECT_GT(w->monitor->geometry().x(), -1000);
  EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(TwoWay, AltClickGlidesEveryKnobToTheSnapshotSendingEachNewPositionOnce) {
  for (int k = 1; k <= 22; ++k) Store("Button1", QStringLiteral("knob%1").arg(k), "127");
  Store("Button1", "knob2", "0");
  Store("setup", "morphms", "300");
  auto w = OpenWithOutput();
  EXPECT_DOUBLE_EQ(w->morphtime->value(), 0.3);
  QTest::mouseClick(Snapshot(*w, 1), Qt::LeftButton, Qt::AltModifier);
  EXPECT_TRUE(w->Morphing());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w->Morphing(); }, 3000));
  for (int k = 1; k <= 22; ++k) {
    EXPECT_EQ(w->knob[k - 1]->Position(), k == 2 ? 0 : 127);
    const std::vector<int> values = SentValues(23 + k);
    if (k == 2) {
      EXPECT_TRUE(values.empty());  // it stood where the snapshot has it
      continue;
    }
    ASSERT_GE(values.size(), 3u) << "knob" << k;
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    EXPECT_EQ(std::adjacent_find(values.begin(), values.end()), values.end()) << "sent twice";
    EXPECT_EQ(values.back(), 127);
  }
}

TEST_F(TwoWay, ATakenKnobStopsGlidingAndAClickOnASnapshotRecallsAtOnce) {
  for (int k = 1; k <= 22; ++k) Store("Button1", QStringLiteral("knob%1").arg(k), "127");
  for (int k = 1; k <= 22; ++k) Store("Button4", QStringLiteral("knob%1").arg(k), "10");
  Store("setup", "morphms", "30000");
  auto w = OpenWithOutput();
  QTest::mouseClick(Snapshot(*w, 1), Qt::LeftButton, Qt::AltModifier);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->knob[0]->Position() >= 1; }));
  QTest::mousePress(w->knob[2], Qt::LeftButton, {}, QPoint(10, 15));
  const int taken = w->knob[2]->Position();
  QTest::qWait(300);
  QTest::mouseRelease(w->knob[2], Qt::LeftButton, {}, QPoint(10, 15));
  EXPECT_EQ(w->knob[2]->Position(), taken);
  EXPECT_TRUE(w->Morphing());
  EXPECT_GT(w->knob[0]->Position(), taken);

  backend.ClearSent();
  QTest::mouseClick(Snapshot(*w, 2), Qt::LeftButton);
  EXPECT_FALSE(w->Morphing());
  EXPECT_EQ(Sent().size(), 22);
  QTest::qWait(50);
  EXPECT_EQ(Sent().size(), 22);
  EXPECT_EQ(w->knob[0]->Position(), 10);
}

TEST_F(TwoWay, PanicEndsAGlideAndNothingOfItFollowsTheAllSoundOff) {
  for (int k = 1; k <= 22; ++k) Store("Button1", QStringLiteral("knob%1").arg(k), "127");
  Store("setup", "morphms", "30000");
  auto w = OpenWithOutput();
  QTest::mouseClick(Snapshot(*w, 1), Qt::LeftButton, Qt::AltModifier);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->knob[0]->Position() >= 1; }));
  backend.ClearSent();
  w->Panic1->trigger();
  EXPECT_FALSE(w->Morphing());
  const int stoppedAt = w->knob[0]->Position();
  QTest::qWait(300);  // the glide would have moved every knob by now
  QStringList allSoundOff;
  for (int c = 0; c < 16; ++c) allSoundOff << QString("B%1 78 00").arg(c, 1, 16).toUpper();
  EXPECT_EQ(Sent(), allSoundOff);
  EXPECT_EQ(w->knob[0]->Position(), stoppedAt);
}

TEST_F(TwoWay, SysexDumpAndShortMessagesArriveTogether) {
  auto w = OpenWithOutput();
  dialogs.fileNames.push_back(dir.filePath("dump.syx"));
  w->GetBtn->click();
  // Between two SysEx messages (a status byte inside one would end it, as MIDI has it).
  const QByteArray dump = SysExOfLength(6000, 3) + SysExOfLength(266, 4);
  ASSERT_TRUE(backend.Inject(kIn, dump.left(6000)));
  Arrive(*w, Bytes({0xB0, 24, 55}));
  ASSERT_TRUE(backend.Inject(kIn, dump.mid(6000)));
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->StatusText() == "   6266  bytes received"; }))
      << w->StatusText().toStdString();
  EXPECT_EQ(w->knob[0]->Position(), 55);
  w->doneBTN->click();
  QFile saved(dir.filePath("dump.syx"));
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_TRUE(saved.readAll() == dump);
}

TEST_F(TwoWay, AFloodOfInputLosesNoKnobAndSendsNothing) {
  auto w = OpenWithOutput();
  for (int i = 0; i < 20000; ++i) {
    const uint8_t m[] = {0xB0, 24, static_cast<uint8_t>(i % 128)};
    backend.Inject(kIn, m, 3);
  }
  const uint8_t last[] = {0xB0, 25, 77};
  QTest::qWait(50);
  backend.Inject(kIn, last, 3);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->knob[1]->Position() == 77; }));
  EXPECT_TRUE(backend.Sent(kOut).empty());
  EXPECT_LE(w->MonitorHistory().Size(), w->MonitorHistory().Capacity());
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('\n').toStdString();
}
