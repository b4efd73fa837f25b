// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Listening to the synth: the Setup page's "follow synth" switch and glide time, the learn
// button, the MIDI monitor window and its place, and what the ports hand to the monitor.
//
// Every function here runs on the GUI thread, inside the handler guard.

#include <QAction>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTime>
#include <QTimer>

#include "MidiBackend.h"
#include "MidiIn.h"
#include "MidiOut.h"
#include "MonitorLog.h"
#include "MonitorWindow.h"
#include "SettingsStore.h"
#include "Unit1.h"
#include "knob.h"

namespace {

constexpr int kMorphStepMs = 10;  // at most 100 glide steps a second
constexpr int kDefaultMorphMs = 2000;
constexpr int kShortestMorphMs = 100, kLongestMorphMs = 30000;

int NowMs() {
  return QTime::currentTime().msecsSinceStartOfDay();
}

}  // namespace

void TForm1::CreateTwoWayControls() {
  follow = new QCheckBox("follow synth", setpanel);
  follow->setObjectName("follow");
  follow->setGeometry(176, 50, 84, 17);
  follow->setChecked(true);
  follow->setToolTip("knobs follow what the synth sends on the MIDI input");
  // Beside the MIDI service list: the page has no room for captions here; the hint and the
  // accessible name say what it is.
  morphtime = new QDoubleSpinBox(setpanel);
  morphtime->setObjectName("morphtime");
  morphtime->setGeometry(176, 72, 38, 19);
  morphtime->setButtonSymbols(QAbstractSpinBox::NoButtons);  // the wheel and the arrow keys turn it
  morphtime->setAccessibleName("glide time");
  morphtime->setRange(kShortestMorphMs / 1000.0, kLongestMorphMs / 1000.0);
  morphtime->setDecimals(1);
  morphtime->setSingleStep(0.1);
  morphtime->setSuffix(" s");
  morphtime->setValue(kDefaultMorphMs / 1000.0);
  morphtime->setToolTip("seconds of the glide of Alt+click on a snapshot");

  learnbtn = new QPushButton("Learn", knobsetup);
  learnbtn->setObjectName("learnbtn");
  learnbtn->setGeometry(152, 15, 60, 21);
  learnbtn->setCheckable(true);
  learnbtn->setToolTip("the next message from the synth sets up this knob (Esc cancels)");

  Monitor1 = new QAction("MIDI monitor", PopupMenu1);
  Monitor1->setObjectName("Monitor1");
  Monitor1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
  addAction(Monitor1);
  PopupMenu1->addAction(Monitor1);
  LearnCancel = new QAction("cancel learn", this);
  LearnCancel->setObjectName("LearnCancel");
  LearnCancel->setShortcut(QKeySequence(Qt::Key_Escape));
  LearnCancel->setEnabled(false);
  addAction(LearnCancel);

  monitorLog_ = std::make_unique<MonitorLog>();
  morphTimer_ = new QTimer(this);
  morphTimer_->setTimerType(Qt::PreciseTimer);
  morphTimer_->setInterval(kMorphStepMs);
  morphClock_ = std::make_unique<QElapsedTimer>();
}

void TForm1::BindTwoWayEvents() {
  connect(follow, &QCheckBox::clicked, this, [this] { Guard([&] { followClick(follow); }); });
  connect(morphtime, &QDoubleSpinBox::editingFinished, this,
          [this] { Guard([&] { morphtimeChange(morphtime); }); });
  connect(learnbtn, &QPushButton::clicked, this,
          [this] { Guard([&] { learnbtnClick(learnbtn); }); });
  connect(Monitor1, &QAction::triggered, this, [this] { Guard([&] { Monitor1Click(Monitor1); }); });
  connect(LearnCancel, &QAction::triggered, this,
          [this] { Guard([&] { LearnCancelClick(LearnCancel); }); });
  connect(morphTimer_, &QTimer::timeout, this, [this] { Guard([&] { MorphStep(); }); });
  MidiOutput1->OnSent = [this](const uint8_t *bytes, size_t length) {
    MidiOutput1Sent(bytes, length);
  };
  // A press on a knob takes it from a glide before any move.
  for (tknob *dial : knob)
    dial->OnMouseDown = [this](QObject *s, TMouseButton, TShiftState, int, int) {
      KnobTaken(static_cast<tknob *>(s));
    };
}

void TForm1::LoadTwoWaySettings() {
  follow->setChecked(Settings_->ReadBool("setup", "follow", true));
  const int ms = Settings_->ReadInteger("setup", "morphms", kDefaultMorphMs);
  morphtime->setValue(std::clamp(ms, kShortestMorphMs, kLongestMorphMs) / 1000.0);
}

void TForm1::followClick(QObject *) {
  Settings_->WriteBool("setup", "follow", follow->isChecked());
}

void TForm1::morphtimeChange(QObject *) {
  Settings_->WriteInteger("setup", "morphms", static_cast<int>(morphtime->value() * 1000 + 0.5));
}

void TForm1::StartListening() {
  MidiInput1->StartInput();
}

// --- The monitor ---

void TForm1::Monitor1Click(QObject *) {
  if (!monitor) {
    monitor = new MonitorWindow(
        *monitorLog_, [this](const std::function<void()> &handler) { Guard(handler); }, this);
    const QRect place(Settings_->ReadInteger("setup", "monitorx", 0),
                      Settings_->ReadInteger("setup", "monitory", 0),
                      Settings_->ReadInteger("setup", "monitorw", 0),
                      Settings_->ReadInteger("setup", "monitorh", 0));
    // A stored place off every screen (another monitor set-up, a hand-edited file) is dropped.
    if (place.width() >= 200 && place.height() >= 100 && QGuiApplication::screenAt(place.center()))
      monitor->setGeometry(place);
    else
      monitor->move(frameGeometry().bottomLeft() + QPoint(0, 8));
    monitor->OnHide = [this] { Guard([this] { SaveMonitorPlace(); }); };
  }
  monitor->show();
  monitor->raise();
  monitor->activateWindow();
}

void TForm1::SaveMonitorPlace() {
  if (!monitor || !Settings_ || Settings_->IsClosed()) return;
  const QRect place = monitor->geometry();
  Settings_->WriteInteger("setup", "monitorx", place.x());
  Settings_->WriteInteger("setup", "monitory", place.y());
  Settings_->WriteInteger("setup", "monitorw", place.width());
  Settings_->WriteInteger("setup", "monitorh", place.height());
}

void TForm1::MidiOutput1Sent(const uint8_t *bytes, size_t length) {
  monitorLog_->Add(false, MidiOutput1->ProductName(), bytes, length, NowMs());
  if (monitor) monitor->Changed();
}

void TForm1::MonitorReceived(const TMyMidiEvent &event) {
  const bool sysex = event.StatusByte == 0xF0 || event.SysExByteCount > 0;
  if (sysex && (!event.SysExBytes || event.SysExByteCount == 0)) return;
  const uint8_t shortMessage[3] = {event.StatusByte, event.DataByte1, event.DataByte2};
  if (sysex)
    monitorLog_->Add(true, MidiInput1->ProductName(), event.SysExBytes.get(), event.SysExByteCount,
                     NowMs());
  else
    monitorLog_->Add(true, MidiInput1->ProductName(), shortMessage,
                     ShortMessageLength(event.StatusByte), NowMs());
  if (monitor) monitor->Changed();
}

void TForm1::CloseMonitor() {
  if (!monitor) return;
  Guard([this] { SaveMonitorPlace(); });
  monitor->OnHide = nullptr;
  monitor->close();
}
