// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiOut.h"

#include <QSocketNotifier>

#include "CallbackRecord.h"
#include "GuiThread.h"

namespace {
const QString kOutOfRange = QStringLiteral("Specified error number is out of range");
}

TMidiOutput::TMidiOutput(MidiBackend &backend, QObject *owner)
    : QObject(owner), backend_(backend), api_(backend.CreateOutput()) {
  DeviceCount_ = api_->PortCount();
  api_->SetWake(&wake_);
  wakeNotifier_ = new QSocketNotifier(wake_.Fd(), QSocketNotifier::Read, this);
  connect(wakeNotifier_, &QSocketNotifier::activated, this, [this] {
    wake_.Drain();
    HandleNotice();
  });
}

TMidiOutput::~TMidiOutput() {
  try {
    if (open_) ClosePort();
  } catch (const Exception &) {
    // A destructor reports nothing; the backend connection is released below either way.
  }
  api_.reset();          // stops every service thread that could signal the wake-up descriptor
  delete wakeNotifier_;  // before the descriptor it watches closes
  CallbackRecord_.reset();
}

QString TMidiOutput::ErrorText(uint16_t code) const {
  return backend_.ErrorText(code).value_or(kOutOfRange);
}

void TMidiOutput::Raise(const QString &text) const {
  throw EmidioutputError(text);
}

void TMidiOutput::Check(uint16_t result) {
  LastError_ = result;
  if (result) Raise(ErrorText(result));
}

void TMidiOutput::SetDeviceID(int id) {
  AssertGuiThread();
  if (open_) Raise(QStringLiteral("Change to DeviceID while device was open"));
  const int count = api_->PortCount();
  if (id >= count && id != -1) Raise(QStringLiteral("Invalid device ID"));
  DeviceID_ = id;  // stays changed when the query below fails
  QString name;
  Check(api_->PortName(id, name));
  ProductName_ = name;
  Technology_ = id == -1 ? modMapper : modMidiPort;
  DriverVersion_ = 0x0100;
}

QStringList TMidiOutput::DeviceNames() {
  AssertGuiThread();
  QStringList names = api_->PortNames();
  DeviceCount_ = static_cast<uint16_t>(names.size());
  return names;
}

QString TMidiOutput::VirtualPortName() {
  AssertGuiThread();
  QString name;
  return api_->PortName(-1, name) == mrOk ? name : QString();
}

void TMidiOutput::FollowMovedDevice(int id) {
  AssertGuiThread();
  DeviceID_ = id;
}

void TMidiOutput::DeviceGone() {
  AssertGuiThread();
  if (open_) api_->Close();  // whatever the service says of a device that is not there
  open_ = false;
  sysexEnded_ = sysexWritten_;  // dropped with the connection: no report will come
  gone_ = true;
}

void TMidiOutput::SetProductName(const QString &name) {
  AssertGuiThread();
  if (open_) Raise(QStringLiteral("Change to ProductName while device was open"));
  const int count = api_->PortCount();
  for (int id = -1; id < count; ++id) {
    QString candidate;
    const uint16_t result = api_->PortName(id, candidate);
    // A service without a virtual port has no slot -1; its name can match no device.
    if (id == -1 && result == mrNotSupported) continue;
    Check(result);
    if (candidate == name) {
      SetDeviceID(id);
      return;
    }
  }
  Raise(QStringLiteral("MIDI output Device ") + name + QStringLiteral(" not installed"));
}

bool TMidiOutput::OpenPort() {
  AssertGuiThread();
  if (open_) return true;  // already open on the selected device
  try {
    if (!CallbackRecord_) CallbackRecord_ = std::make_unique<CallbackRecord>();
    Check(api_->Open(DeviceID_));
    open_ = true;
    gone_ = false;
    sysexEnded_ = sysexWritten_;
    return true;
  } catch (const Exception &) {
    CallbackRecord_.reset();  // the error goes no further; LastError keeps the code
    return false;
  }
}

bool TMidiOutput::ClosePort() {
  AssertGuiThread();
  bool result = false;
  if (open_) {
    sysexEnded_ = sysexWritten_;  // whatever is still queued is dropped: no report will come
    Check(api_->Close());
    result = true;
  }
  open_ = false;
  gone_ = false;
  return result;
}

void TMidiOutput::WriteShortMessage(uint8_t status, uint8_t data1, uint8_t data2) {
  AssertGuiThread();
  // Never hand a closed connection to the service (some spin forever on it): the service's
  // text for an invalid handle, as if it had refused.
  if (!open_) Check(ClosedResult());
  if (status < 0x80) Check(mrInvalidParam);  // not a status byte
  const uint32_t packed = status | uint32_t{static_cast<uint8_t>(data1 & 0x7F)} << 8 |
                          uint32_t{static_cast<uint8_t>(data2 & 0x7F)} << 16;
  Check(api_->SendShort(packed));
  if (OnSent) {
    const uint8_t bytes[3] = {status, static_cast<uint8_t>(packed >> 8),
                              static_cast<uint8_t>(packed >> 16)};
    OnSent(bytes, ShortMessageLength(status));
  }
}

void TMidiOutput::WriteSysEx(const uint8_t *bytes, size_t length) {
  AssertGuiThread();
  if (!open_) Check(ClosedResult());
  if (length == 0 || !bytes) return;  // nothing to send, nothing to report
  Check(api_->SendSysEx(std::vector<uint8_t>(bytes, bytes + length)));
  ++sysexWritten_;
  if (OnSent) OnSent(bytes, length);
}

bool TMidiOutput::CancelSysEx() {
  AssertGuiThread();
  return open_ && api_->CancelSysEx();
}

void TMidiOutput::WriteEvent(const TMyMidiEvent &event) {
  AssertGuiThread();
  if (!open_ && gone_) Check(mrDeviceGone);
  if (!open_) Raise(QStringLiteral("MIDI Output device not open"));
  if (event.SysExBytes)
    WriteSysEx(event.SysExBytes.get(), event.SysExByteCount);
  else
    WriteShortMessage(event.StatusByte, event.DataByte1, event.DataByte2);
}

void TMidiOutput::HandleNotice() {
  AssertGuiThread();
  MidiOutQueue::Finished finished;
  while (open_ && api_->TakeFinished(finished)) {
    // Blocks end in the order they were written, cancelled ones included.
    if (finished.sysex && sysexEnded_ < sysexWritten_) ++sysexEnded_;
    if (finished.result == kTransferCancelled) continue;
    LastError_ = finished.result;
    if (Onmidioutput) Onmidioutput(this);
  }
}
