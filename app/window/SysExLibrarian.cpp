// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The SysEx page's librarian controls and what they do. Every function runs on the GUI thread;
// the ones a control or a timer calls run inside the window's handler guard.

#include "SysExLibrarian.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

#include "Dialogs.h"
#include "Exception.h"
#include "MidiIn.h"
#include "MidiOut.h"
#include "SettingsStore.h"
#include "SysExCheck.h"
#include "SysExFile.h"
#include "Unit1.h"

namespace {

const QString kSetup = QStringLiteral("setup");
const QString kPauseValue = QStringLiteral("sysexpause");          // ms after each message
const QString kWireSpeedValue = QStringLiteral("sysexwirespeed");  // Boolean
// Output devices whose hardware port the musician knows is fast, separated by '|'.
const QString kFastPortsValue = QStringLiteral("sysexfastports");
const QString kQuietStopValue = QStringLiteral("sysexquietstop");  // Boolean
const QString kQuietValue = QStringLiteral("sysexquiet");          // seconds
const QString kRequestOnValue = QStringLiteral("sysexrequeston");  // Boolean
const QString kRequestValue = QStringLiteral("sysexrequest");      // hex bytes or a file name

constexpr int kMaxPauseMs = 10000;
constexpr int kDefaultQuietSeconds = 2;
constexpr int kMaxQuietSeconds = 99;
// A request is a message or two; a bigger file is the wrong file.
constexpr qint64 kMaxRequestBytes = qint64(64) << 10;

const QStringList kPausePresets = {"0", "20", "50", "100", "150"};

QLabel *SmallLabel(QWidget *parent, const QString &text, int x, int y) {
  auto *label = new QLabel(text, parent);
  label->move(x, y);
  label->adjustSize();
  return label;
}

// "12 s", "3 min 20 s"; "?" while there is nothing to estimate from.
QString Duration(qint64 ms) {
  if (ms < 0) return QStringLiteral("?");
  const qint64 seconds = (ms + 999) / 1000;
  if (seconds < 60) return QStringLiteral("%1 s").arg(seconds);
  return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
}

}  // namespace

TSysExLibrarian::TSysExLibrarian(TForm1 &window)
    : QObject(&window), window_(window), sender_(*window.MidiOutput1, this), recorder_(this) {
  setObjectName("librarian");
  CreateControls();
  BindControls();
}

// The page's free space at 96 dpi: the strip between the button rows holds the progress bar,
// the strip under the done button the transfer's text, the right-hand column the settings.
void TSysExLibrarian::CreateControls() {
  QWidget *panel = window_.Panel1;
  SmallLabel(panel, QStringLiteral("pause"), 362, 8);
  pausebox = new QComboBox(panel);
  pausebox->setObjectName("pausebox");
  pausebox->setGeometry(396, 4, 54, 21);
  pausebox->setEditable(true);
  pausebox->addItems(kPausePresets);
  pausebox->setValidator(new QIntValidator(0, kMaxPauseMs, pausebox));
  pausebox->setToolTip(QStringLiteral("pause after each SysEx message, in ms"));
  SmallLabel(panel, QStringLiteral("ms"), 452, 8);
  cancelbtn = new QPushButton(QStringLiteral("cancel"), panel);
  cancelbtn->setObjectName("cancelbtn");
  cancelbtn->setGeometry(470, 4, 48, 21);
  cancelbtn->setEnabled(false);
  cancelbtn->setToolTip(QStringLiteral("stop the transfer (the message in flight ends with F7)"));

  wirespeed = new QCheckBox(QStringLiteral("MIDI wire speed"), panel);
  wirespeed->setObjectName("wirespeed");
  wirespeed->setGeometry(362, 28, 108, 18);
  wirespeed->setToolTip(QStringLiteral("send no faster than a MIDI cable (31,250 bit/s)"));
  fastport = new QCheckBox(QStringLiteral("fast"), panel);
  fastport->setObjectName("fastport");
  fastport->setGeometry(470, 28, 50, 18);
  fastport->setToolTip(
      QStringLiteral("this output's hardware port is fast: send SysEx to it at full speed, not "
                     "at MIDI wire speed"));

  quietstop = new QCheckBox(QStringLiteral("stop after"), panel);
  quietstop->setObjectName("quietstop");
  quietstop->setGeometry(362, 50, 74, 18);
  quietstop->setToolTip(QStringLiteral("stop recording when nothing more arrives"));
  quietsecs = new QSpinBox(panel);
  quietsecs->setObjectName("quietsecs");
  quietsecs->setGeometry(436, 49, 48, 21);
  quietsecs->setRange(1, kMaxQuietSeconds);
  quietsecs->setSuffix(QStringLiteral(" s"));
  quietsecs->setValue(kDefaultQuietSeconds);
  quietsecs->setToolTip(quietstop->toolTip());
  SmallLabel(panel, QStringLiteral("quiet"), 488, 53);

  requeston = new QCheckBox(QStringLiteral("request"), panel);
  requeston->setObjectName("requeston");
  requeston->setGeometry(362, 72, 66, 18);
  requeston->setToolTip(QStringLiteral("send a dump request when recording starts"));
  requestedit = new QLineEdit(panel);
  requestedit->setObjectName("requestedit");
  requestedit->setGeometry(428, 71, 68, 21);
  requestedit->setPlaceholderText(QStringLiteral("F0 ... F7"));
  requestedit->setToolTip(QStringLiteral("the request: hex bytes, or a .syx file chosen with ..."));
  requestbtn = new QPushButton(QStringLiteral("..."), panel);
  requestbtn->setObjectName("requestbtn");
  requestbtn->setGeometry(497, 71, 22, 21);
  requestbtn->setToolTip(QStringLiteral("choose a .syx file holding the request"));

  sysexprogress = new QProgressBar(panel);
  sysexprogress->setObjectName("sysexprogress");
  sysexprogress->setGeometry(16, 40, 336, 9);
  sysexprogress->setTextVisible(false);
  sysexprogress->setValue(0);
  sysexinfo = new QLabel(panel);
  sysexinfo->setObjectName("sysexinfo");
  sysexinfo->setGeometry(16, 79, 340, 14);
}

void TSysExLibrarian::BindControls() {
  auto guarded = [this](void (TSysExLibrarian::*handler)()) {
    return [this, handler] { window_.Guard([&] { (this->*handler)(); }); };
  };
  connect(pausebox, &QComboBox::currentTextChanged, this,
          guarded(&TSysExLibrarian::pauseboxChange));
  connect(wirespeed, &QCheckBox::clicked, this, guarded(&TSysExLibrarian::wirespeedClick));
  connect(fastport, &QCheckBox::clicked, this, guarded(&TSysExLibrarian::fastportClick));
  connect(quietstop, &QCheckBox::clicked, this, guarded(&TSysExLibrarian::quietstopChange));
  connect(quietsecs, &QSpinBox::valueChanged, this, guarded(&TSysExLibrarian::quietstopChange));
  connect(requeston, &QCheckBox::clicked, this, guarded(&TSysExLibrarian::requestChange));
  connect(requestedit, &QLineEdit::editingFinished, this, guarded(&TSysExLibrarian::requestChange));
  connect(requestbtn, &QPushButton::clicked, this, guarded(&TSysExLibrarian::requestbtnClick));
  connect(cancelbtn, &QPushButton::clicked, this, guarded(&TSysExLibrarian::cancelbtnClick));
  sender_.OnProgress = [this] { ShowSendProgress(); };
  sender_.OnFinished = [this](TSysExSender::Outcome outcome, const QString &error) {
    window_.Guard([&] { TransferFinished(outcome, error); });
  };
  recorder_.OnQuiet = [this] {
    // The done button's own click: it writes the dump and goes back to idle.
    if (window_.doneBTN->isEnabled()) window_.doneBTN->click();
  };
}

void TSysExLibrarian::LoadSettings() {
  window_.Guard([this] {
    const SettingsStore &store = window_.Settings();
    const QSignalBlocker blockPause(pausebox), blockQuiet(quietsecs);
    const int pause = store.ReadInteger(kSetup, kPauseValue, 0);
    pausebox->setEditText(QString::number(std::clamp(pause, 0, kMaxPauseMs)));
    wirespeed->setChecked(store.ReadBool(kSetup, kWireSpeedValue, false));
    quietstop->setChecked(store.ReadBool(kSetup, kQuietStopValue, false));
    quietsecs->setValue(std::clamp(store.ReadInteger(kSetup, kQuietValue, kDefaultQuietSeconds), 1,
                                   kMaxQuietSeconds));
    requeston->setChecked(store.ReadBool(kSetup, kRequestOnValue, false));
    requestedit->setText(store.ReadString(kSetup, kRequestValue, QString()));
  });
  OutputChanged();
}

QStringList TSysExLibrarian::FastPorts() const {
  return window_.Settings()
      .ReadString(kSetup, kFastPortsValue, QString())
      .split(QChar('|'), Qt::SkipEmptyParts);
}

void TSysExLibrarian::OutputChanged() {
  TMidiOutput &output = *window_.MidiOutput1;
  const bool fast = output.IsOpen() && FastPorts().contains(output.ProductName());
  fastport->setChecked(fast);
  output.LiftHardwarePacing(fast);
}

// ---- the settings' handlers ----

void TSysExLibrarian::pauseboxChange() {
  bool number = false;
  const int pause = pausebox->currentText().toInt(&number);
  if (number) window_.Settings().WriteInteger(kSetup, kPauseValue, pause);
}

void TSysExLibrarian::wirespeedClick() {
  window_.Settings().WriteBool(kSetup, kWireSpeedValue, wirespeed->isChecked());
}

void TSysExLibrarian::fastportClick() {
  TMidiOutput &output = *window_.MidiOutput1;
  QStringList ports = FastPorts();
  ports.removeAll(output.ProductName());
  if (fastport->isChecked() && output.IsOpen()) ports << output.ProductName();
  window_.Settings().WriteString(kSetup, kFastPortsValue, ports.join(QChar('|')));
  OutputChanged();
}

void TSysExLibrarian::quietstopChange() {
  window_.Settings().WriteBool(kSetup, kQuietStopValue, quietstop->isChecked());
  window_.Settings().WriteInteger(kSetup, kQuietValue, quietsecs->value());
}

void TSysExLibrarian::requestChange() {
  window_.Settings().WriteBool(kSetup, kRequestOnValue, requeston->isChecked());
  window_.Settings().WriteString(kSetup, kRequestValue, requestedit->text().trimmed());
}

void TSysExLibrarian::requestbtnClick() {
  const std::optional<QString> name = Dialogs::Current().OpenFileName(
      QStringLiteral("select the sysex request to send when recording starts"),
      QStringLiteral("*.syx (*.syx)"));
  if (!name) return;
  requestedit->setText(*name);
  requestedit->setCursorPosition(0);
  requeston->setChecked(true);
  requestChange();
}

SysExPacing TSysExLibrarian::Pacing() const {
  return {std::clamp(pausebox->currentText().toInt(), 0, kMaxPauseMs), wirespeed->isChecked()};
}

QByteArray TSysExLibrarian::RequestBytes() const {
  const QString text = requestedit->text().trimmed();
  if (const std::optional<QByteArray> typed = ParseHexBytes(text)) return *typed;
  if (text.isEmpty()) throw Exception(QStringLiteral("No SysEx request is set"));
  return ReadSysExFile(text, kMaxRequestBytes);
}

// ---- sending ----

void TSysExLibrarian::Send(const QString &name, const QByteArray &file) {
  const SysExCheck check = CheckSysEx(file);
  if (!check.Clean() &&
      !Dialogs::Current().Confirm(ShownFileName(name) + QStringLiteral(": ") + check.Summary() +
                                  QStringLiteral("\n\nSend it anyway?"))) {
    sysexinfo->setText(QStringLiteral("not sent: ") + check.Summary().section(QChar(':'), 0, 0));
    return;
  }
  sendingRequest_ = false;
  SetTransferRunning(true);
  sysexprogress->setRange(0, static_cast<int>(std::min<qint64>(file.size(), INT_MAX)));
  sysexprogress->setValue(0);
  OutputChanged();
  const QString pacing = WirePacingText(window_.MidiOutput1->WirePacing());
  sysexinfo->setText(QStringLiteral("sending %1").arg(check.Summary().section(QChar(';'), 0, 0)) +
                     (pacing.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(pacing)));
  sysexinfo->setToolTip(pacing);
  sendOverruns_ = window_.MidiOutput1->Overruns();
  sender_.Start(file, Pacing());
}

bool TSysExLibrarian::BlockEnded(uint16_t error) {
  return sender_.BlockEnded(error);
}

bool TSysExLibrarian::StopTransfer(const QString &why) {
  return sender_.Cancel(why);
}

void TSysExLibrarian::cancelbtnClick() {
  sender_.Cancel();
}

void TSysExLibrarian::ShowSendProgress() {
  if (sendingRequest_) return;
  const TSysExSender::Progress p = sender_.CurrentProgress();
  sysexprogress->setValue(static_cast<int>(std::min<qint64>(p.bytesSent, INT_MAX)));
  sysexinfo->setText(QStringLiteral("%1 of %2 messages, %3 of %4 bytes, %5 left")
                         .arg(p.messagesSent)
                         .arg(p.messageCount)
                         .arg(p.bytesSent)
                         .arg(p.byteCount)
                         .arg(Duration(p.msLeft)));
}

void TSysExLibrarian::TransferFinished(TSysExSender::Outcome outcome, const QString &error) {
  const bool request = std::exchange(sendingRequest_, false);
  SetTransferRunning(false);
  const TSysExSender::Progress p = sender_.CurrentProgress();
  using Outcome = TSysExSender::Outcome;
  if (request) {
    if (outcome == Outcome::Failed)
      throw Exception(QStringLiteral("The SysEx request was not sent: ") + error);
    return;
  }
  sysexprogress->setValue(static_cast<int>(std::min<qint64>(p.bytesSent, INT_MAX)));
  const uint64_t overruns = OverrunsSince(sendOverruns_, window_.MidiOutput1->Overruns());
  if (outcome == Outcome::Sent && overruns > 0) {
    sysexinfo->setText(QStringLiteral("sent %1 messages, %2 bytes; the service overran")
                           .arg(p.messageCount)
                           .arg(p.byteCount));
    throw Exception(SendOverrunWarning(overruns));
  }
  if (outcome == Outcome::Sent) {
    sysexinfo->setText(
        QStringLiteral("sent %1 messages, %2 bytes").arg(p.messageCount).arg(p.byteCount));
    return;
  }
  QString text = QStringLiteral("%1 after %2 of %3 messages")
                     .arg(outcome == Outcome::Cancelled ? QStringLiteral("cancelled")
                                                        : QStringLiteral("failed"))
                     .arg(p.messagesSent)
                     .arg(p.messageCount);
  sysexinfo->setText(text);
  if (outcome == Outcome::Failed) throw Exception(error);
  if (!error.isEmpty()) sysexinfo->setToolTip(error);
}

// While a file goes out, nothing else may start a transfer; knobs, keys and Panic stay free.
void TSysExLibrarian::SetTransferRunning(bool running) {
  cancelbtn->setEnabled(running);
  if (sendingRequest_ || window_.doneBTN->isEnabled()) return;
  window_.Sendbtn->setEnabled(!running);
  window_.GetBtn->setEnabled(!running);
}

// ---- recording ----

void TSysExLibrarian::ReceptionStarted() {
  receiveOverruns_ = window_.MidiInput1->Overruns();
  recorder_.Start(quietstop->isChecked() ? quietsecs->value() * 1000 : 0);
  sysexprogress->setRange(0, 0);  // no end known: the bar shows that something is going on
  sysexinfo->setText(
      quietstop->isChecked()
          ? QStringLiteral("recording; stops %1 s after the last byte").arg(quietsecs->value())
          : QStringLiteral("recording"));
  if (!requeston->isChecked()) return;
  const QByteArray request = RequestBytes();
  sendingRequest_ = true;
  SetTransferRunning(true);
  sender_.Start(request, {});
}

void TSysExLibrarian::ReceptionGrew(const QByteArray &buffer) {
  recorder_.Grew(buffer);
  if (!recorder_.Recording()) return;
  sysexinfo->setText(QStringLiteral("recording: %1 messages, %2 bytes")
                         .arg(recorder_.Messages())
                         .arg(recorder_.Bytes()));
}

void TSysExLibrarian::ReceptionSaved(const QString &name, const QByteArray &saved) {
  recorder_.Stop();
  if (sendingRequest_) sender_.Cancel();
  sysexprogress->setRange(0, 1);
  sysexprogress->setValue(saved.isEmpty() ? 0 : 1);
  if (saved.isEmpty()) {
    sysexinfo->setText(QStringLiteral("nothing received, no file written"));
    return;
  }
  const SysExCheck check = CheckSysEx(saved);
  sysexinfo->setText(
      QStringLiteral("saved %1 in %2")
          .arg(check.Summary().section(QChar(';'), 0, 0), QFileInfo(name).fileName()));
  const uint64_t overruns = OverrunsSince(receiveOverruns_, window_.MidiInput1->Overruns());
  receiveOverruns_ = window_.MidiInput1->Overruns();
  if (overruns > 0)
    Dialogs::Current().Inform(ShownFileName(name) + QStringLiteral(": ") +
                              ReceiveOverrunWarning(overruns));
  if (!check.Clean())
    Dialogs::Current().Inform(ShownFileName(name) + QStringLiteral(": ") + check.Summary());
}
