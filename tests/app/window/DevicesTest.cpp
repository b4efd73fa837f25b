// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Devices kept by name, devices that come and go while the window runs, and the word on the
// Setup page when there is none, over the loopback service; and what the real services answered.

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "LoopbackBackend.h"
#include "MIDIappUtil.h"
#include "MidiBackends.h"
#include "MidiIn.h"
#include "MidiOut.h"
#include "MonitorLog.h"
#include "MouseUpButton.h"
#include "RefusingJackServer.h"
#include "WindowFixture.h"
#include "WindowTexts.h"

namespace {

const QString kIn = QStringLiteral("Loopback In 1");

class Devices : public WindowFixture {
 protected:
  // A note played as a handler plays it: an error goes to the error box.
  static void Play(TForm1 &w) {
    w.Guard([&] { w.engine->SendShort(0x90, 60, 100); });
  }
  bool Reached(const QString &device) const { return !backend.Sent(device).empty(); }
  static void Choose(TForm1 &w, const QString &output) {
    w.midiout->setCurrentIndex(w.midiout->findText(output));
    w.midioutChange(w.midiout);
  }
};

TEST_F(Devices, AStoredDeviceThatIsAwayIsWaitedForAndOpenedWhenItComes) {
  Store("setup", "out", "1");
  Store("setup", "outname", "Synth Z:in");
  auto w = Open();
  EXPECT_FALSE(w->MidiOutput1->IsOpen());
  EXPECT_EQ(w->midiout->currentIndex(), -1);
  EXPECT_EQ(w->StatusText(), DeviceGoneText("Synth Z:in"));
  EXPECT_TRUE(dialogs.errors.isEmpty()) << "an absent synth is no error at start-up";
  Play(*w);
  ASSERT_EQ(dialogs.errors.size(), 1);
  EXPECT_TRUE(dialogs.errors[0].contains("gone")) << dialogs.errors[0].toStdString();
  backend.AddOutput("Synth Z:in");
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->MidiOutput1->IsOpen(); }));
  EXPECT_EQ(w->midiout->currentText(), "Synth Z:in");
  EXPECT_EQ(w->StatusText(), DeviceBackText("Synth Z:in"));
  w->close();
  EXPECT_EQ(Stored("setup", "out"), "3");
  EXPECT_EQ(Stored("setup", "outname"), "Synth Z:in");
}

TEST_F(Devices, AnAwayDeviceKeepsItsNameAndNumberThroughAShutdown) {
  Store("setup", "out", "1");
  Store("setup", "outname", "Synth Z:in");
  Open()->close();
  EXPECT_EQ(Stored("setup", "out"), "1");
  EXPECT_EQ(Stored("setup", "outname"), "Synth Z:in");
}

TEST_F(Devices, DevicesPluggedInWhileRunningAppearAtOnceAndTheChoiceFollowsItsDevice) {
  auto w = OpenWithOutput();
  backend.AddOutput("Plugged:in");
  backend.AddInput("Plugged:out");
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->midiin->findText("Plugged:out") >= 0; }));
  EXPECT_GE(w->midiout->findText("Plugged:in"), 0);
  EXPECT_EQ(w->midiout->currentText(), kOut) << "the chosen output keeps its selection";
  EXPECT_EQ(w->midiout->itemText(w->midiout->count() - 1), kVirtualPortEntry);

  Choose(*w, "Plugged:in");
  Play(*w);
  EXPECT_TRUE(Reached("Plugged:in"));
  // A device listed before the chosen one goes: the choice moves with its device.
  backend.RemoveDevice(kOut);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->midiout->findText(kOut) < 0; }));
  EXPECT_EQ(w->midiout->currentText(), "Plugged:in");
  EXPECT_EQ(w->MidiOutput1->DeviceID(), w->midiout->currentIndex());
  EXPECT_TRUE(w->MidiOutput1->IsOpen());
}

TEST_F(Devices, ASchemeFindsItsOutputByNameAndWaitsForOneThatIsAway) {
  Store("scheme1", "knobctrl1", "176");
  Store("scheme1", "midiout", "1");
  Store("scheme1", "midioutname", "Loopback Out 3");
  Store("scheme2", "knobctrl1", "176");
  Store("scheme2", "midiout", "0");
  Store("scheme2", "midioutname", "Synth Z:in");
  auto w = OpenWithOutput();
  QTest::mouseClick(w->schemeButton[0], Qt::LeftButton);
  EXPECT_EQ(w->midiout->currentText(), "Loopback Out 3");
  EXPECT_EQ(Stored("setup", "outname"), "Loopback Out 3");
  QTest::mouseClick(w->schemeButton[1], Qt::LeftButton);
  EXPECT_FALSE(w->MidiOutput1->IsOpen()) << "device 0 is another synth";
  EXPECT_EQ(w->StatusText(), DeviceGoneText("Synth Z:in"));
  EXPECT_EQ(Stored("setup", "outname"), "Synth Z:in");
  // A scheme recorded now keeps the device it waits for.
  dialogs.confirmAnswers.push_back(true);
  QTest::mouseClick(w->schemeButton[2], Qt::LeftButton, Qt::ShiftModifier);
  EXPECT_EQ(Stored("scheme3", "midioutname"), "Synth Z:in");
}

TEST_F(Devices, TheVirtualPortIsAChoiceKeptAcrossARestart) {
  Choose(*Open(), kVirtualPortEntry);
  EXPECT_EQ(Stored("setup", "out"), "-1");
  EXPECT_EQ(Stored("setup", "outname"), "Kelvane");
  auto w = Open();
  EXPECT_EQ(w->midiout->currentText(), kVirtualPortEntry);
  EXPECT_TRUE(w->MidiOutput1->IsOpen());
  EXPECT_NE(w->PageControl1->currentWidget(), w->TabSheet3) << "a choice was made";
}

TEST(NoDevice, TheSetupPageSaysWhatEachServiceAnsweredAndNoErrorBoxShows) {
  QTemporaryDir dir;
  FakeDialogs dialogs;
  LoopbackBackend backend({}, {});
  backend.SetServerAlive(false);
  backend.SetTriedServices({"JACK: no server answers"});
  TForm1 w(backend, dir.filePath("kelvane.ini"));
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('|').toStdString();
  EXPECT_TRUE(w.midihelp->isVisibleTo(&w));
  EXPECT_FALSE(w.midiout->isVisibleTo(&w));
  EXPECT_EQ(
      w.midihelp->text(),
      QStringLiteral("Loopback: does not answer\nJACK: no server answers\n") + kNoDeviceAdvice);
  // A device that comes brings the lists back.
  backend.SetServerAlive(true);
  backend.AddOutput("Synth:in");
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.midiout->isVisibleTo(&w); }));
  EXPECT_FALSE(w.midihelp->isVisibleTo(&w));
  EXPECT_EQ(w.midiout->itemText(0), "Synth:in");
}

// The services' own answers: a JACK server that refuses the client, and no sequencer on this
// machine (the ALSA sequencer's tests run in their own machine).
TEST(NoDevice, TheSetupPageSaysWhatTheRealServicesAnswered) {
  const std::string server = "kelvane-refuses-" + std::to_string(getpid());
  const RefusingJackServer refusing(server);
  ASSERT_TRUE(refusing.Listens());
  qputenv("JACK_DEFAULT_SERVER", QByteArray::fromStdString(server));
  qputenv("JACK_NO_START_SERVER", "1");
  QTemporaryDir dir;
  FakeDialogs dialogs;
  const auto backend = CreateMidiBackend("");
  TForm1 w(*backend, dir.filePath("kelvane.ini"));
  qunsetenv("JACK_DEFAULT_SERVER");
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('|').toStdString();
  EXPECT_EQ(w.midihelp->text(),
            QStringLiteral("JACK: the server refused the client\n"
                           "ALSA sequencer: no sequencer here (/dev/snd/seq)\n") +
                kNoDeviceAdvice);
}

}  // namespace
