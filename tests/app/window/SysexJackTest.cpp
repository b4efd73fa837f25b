// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "FakeDialogs.h"
#include "JackPeer.h"
#include "MidiBackends.h"
#include "MidiIn.h"
#include "MidiOut.h"
#include "SysExBytes.h"
#include "Unit1.h"

namespace {

// The window over a real JACK server, its devices the test peer's ports.
class SysexJack : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(backend->Api(), "jack")
        << "no JACK server named " << qgetenv("JACK_DEFAULT_SERVER").constData();
    ASSERT_TRUE(peer.Ok());
    w = std::make_unique<TForm1>(*backend, dir.filePath("kelvane.ini"));
  }

  // Chooses the device named "<peer>:<port>" in `list` as the user does on the Setup page.
  void Choose(QComboBox *list, void (TForm1::*change)(QObject *), const char *port) {
    const int index =
        list->findText(QString::fromStdString(peer.Name()) + ":" + port, Qt::MatchEndsWith);
    ASSERT_GE(index, 0) << port;
    list->setCurrentIndex(index);
    (w.get()->*change)(list);
  }

  QTemporaryDir dir;
  FakeDialogs dialogs;
  std::unique_ptr<MidiBackend> backend = CreateMidiBackend("jack");
  JackPeer peer{"sysexpeer"};
  std::unique_ptr<TForm1> w;
};

TEST_F(SysexJack, AMegabyteFileArrivesByteExact) {
  Choose(w->midiout, &TForm1::midioutChange, "in");
  ASSERT_TRUE(w->MidiOutput1->IsOpen());
  QByteArray file;
  for (int i = 0; file.size() < (1 << 20); ++i)
    file += SysExOfLength(std::min(8192, (1 << 20) - int(file.size())), i);
  const QString name = dir.filePath("big.syx");
  {
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(file);
  }
  dialogs.fileNames.push_back(name);
  QElapsedTimer timer;
  timer.start();
  w->Sendbtn->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->Sendbtn->isEnabled(); }, 30000));
  // A server that overran may have lost data between any two clients; the page then said so,
  // and that warning is the only one a loaded machine may bring.
  const bool overran =
      !dialogs.errors.isEmpty() && dialogs.errors.first().startsWith("The MIDI service overran");
  const bool whole = QTest::qWaitFor([&] { return peer.Received().size() >= file.size(); },
                                     overran ? 2000 : 10000);
  if (overran && (!whole || peer.Received() != file))
    GTEST_SKIP() << "the server overran; " << peer.Received().size() << " of " << file.size();
  std::printf("1 MiB .syx file sent in %lld ms\n", static_cast<long long>(timer.elapsed()));
  EXPECT_TRUE(peer.Received() == file) << peer.Received().size() << " of " << file.size();
  EXPECT_FALSE(peer.LostAny());
  EXPECT_EQ(dialogs.errors.size(), overran ? 1 : 0) << dialogs.errors.join("|").toStdString();
}

TEST_F(SysexJack, ADumpOfThreeHundredMessagesIsSavedByteExact) {
  Choose(w->midiin, &TForm1::midiinChange, "out");
  ASSERT_TRUE(w->MidiInput1->IsOpen());
  dialogs.fileNames.push_back(dir.filePath("dump"));
  w->GetBtn->click();
  std::vector<QByteArray> messages;
  QByteArray dump;
  for (int i = 0; i < 300; ++i) {
    messages.push_back(SysExOfLength(266, i));
    dump += messages.back();
  }
  peer.Send(messages);
  const QString done = QStringLiteral("   %1  bytes received").arg(dump.size());
  if (!QTest::qWaitFor([&] { return w->StatusText() == done; }, 10000)) {
    if (w->MidiInput1->Overruns() + peer.SkippedCycles() > 0)
      GTEST_SKIP() << "the server overran; " << w->StatusText().toStdString();
    FAIL() << w->StatusText().toStdString();
  }
  w->doneBTN->click();
  QFile f(dir.filePath("dump.syx"));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_TRUE(f.readAll() == dump);
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("|").toStdString();
}

}  // namespace
