// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "Exception.h"
#include "MidiBackend.h"
#include "Miditype.h"

class EmidioutputError : public Exception {
 public:
  using Exception::Exception;
};

struct CallbackRecord;
class QSocketNotifier;

// The MIDI output port: one device of the backend's output service. Short messages and SysEx
// blocks are handed to the service's queue and leave as the service takes them; a short message
// waits at most for the SysEx message in flight. The GUI thread never waits for the service:
// one that takes no data answers at once with an error. All members are for the GUI thread.
class TMidiOutput : public QObject {
  Q_OBJECT

 public:
  explicit TMidiOutput(MidiBackend &backend, QObject *owner = nullptr);
  ~TMidiOutput() override;

  int DeviceID() const { return DeviceID_; }
  void SetDeviceID(int id);
  QString ProductName() const { return ProductName_; }
  void SetProductName(const QString &name);
  uint16_t DeviceCount() const { return DeviceCount_; }
  // The devices there are now, looked up afresh (DeviceCount follows), whether open or not.
  QStringList DeviceNames();
  // The name of our own virtual port, device -1; empty where the service has none now.
  QString VirtualPortName();
  // The device the port is open on has gone from under it (its server died, its port went),
  // although one of its name may be there again by now.
  bool Lost() const { return open_ && api_->Lost(); }
  // The open device has moved to number `id` in the list (others came or went before it).
  void FollowMovedDevice(int id);
  // The device has gone from the service: the port closes, and sends fail with the service's
  // text for a removed device until the port opens again.
  void DeviceGone();
  uint16_t LastError() const { return LastError_; }
  bool IsOpen() const { return open_; }
  // Times the service may have lost data on its way to the device since the port opened (a
  // JACK server's overruns); a transfer during which it grew may have reached the synth damaged.
  uint64_t Overruns() const { return open_ ? api_->Overruns() : 0; }
  // How SysEx is paced on its way to the open device (MidiOutPacing::Service while closed).
  MidiOutPacing WirePacing() const { return open_ ? api_->WirePacing() : MidiOutPacing::Service; }
  // For the open device: the musician knows the device behind its hardware port is fast.
  void LiftHardwarePacing(bool lift) {
    if (open_) api_->LiftHardwarePacing(lift);
  }

  // Capability fields of the selected device.
  uint32_t DriverVersion() const { return DriverVersion_; }
  uint8_t Technology() const { return Technology_; }
  uint16_t Voices() const { return 0; }
  uint16_t Notes() const { return 0; }
  uint16_t ChannelMask() const { return 0xFFFF; }
  uint32_t Support() const { return 0; }

  virtual bool OpenPort();
  virtual bool ClosePort();
  virtual void WriteShortMessage(uint8_t status, uint8_t data1, uint8_t data2);
  // Copies the block and returns at once; Onmidioutput fires once when its bytes have left.
  virtual void WriteSysEx(const uint8_t *bytes, size_t length);
  virtual void WriteEvent(const TMyMidiEvent &event);
  QString ErrorText(uint16_t code) const;
  // Ends the SysEx message in flight with F7 and drops the rest of every block written so far;
  // they report nothing. True when one of them had not finished.
  bool CancelSysEx();
  // SysEx blocks written and not yet reported through Onmidioutput.
  size_t SysExPending() const { return static_cast<size_t>(sysexWritten_ - sysexEnded_); }
  // Blocks are numbered in the order written, from 1, for as long as the port lives: the number
  // of the last block written, and of the last one whose end has come back (cancelled blocks
  // and those a close dropped count as ended). While Onmidioutput reports a block's end,
  // SysExEnded() is that block's number, so a sender knows its own reports from others'.
  uint64_t SysExWritten() const { return sysexWritten_; }
  uint64_t SysExEnded() const { return sysexEnded_; }

  // GUI thread; fired once per WriteSysEx when the block has ended: LastError() is 0 when every
  // byte has left, else the service's code for the failure (raise it with ErrorText). A short
  // message that the service refused after WriteShortMessage had returned fires it too, with its
  // code. May call the port.
  std::function<void(QObject *Sender)> Onmidioutput;
  // GUI thread: the bytes of every message the port has handed to the service (a SysEx block
  // whole, once), for a monitor. Must not call the port.
  std::function<void(const uint8_t *bytes, size_t length)> OnSent;

  // Technology codes.
  static constexpr uint8_t modMidiPort = 1;
  static constexpr uint8_t modMapper = 5;

 private:
  // GUI thread: the service has finished blocks (or refused a message) for us.
  void HandleNotice();
  void Check(uint16_t result);
  // What a send on the closed port fails with.
  uint16_t ClosedResult() const {
    return gone_ ? uint16_t{mrDeviceGone} : uint16_t{mrInvalidHandle};
  }
  [[noreturn]] void Raise(const QString &text) const;

  MidiBackend &backend_;
  std::unique_ptr<MidiOutConnection> api_;
  int DeviceID_ = 0;
  bool open_ = false;
  bool gone_ = false;
  std::unique_ptr<CallbackRecord> CallbackRecord_;
  uint16_t LastError_ = 0;
  uint32_t DriverVersion_ = 0;
  QString ProductName_;
  uint8_t Technology_ = 0;
  uint16_t DeviceCount_ = 0;
  uint64_t sysexWritten_ = 0;
  uint64_t sysexEnded_ = 0;
  MidiWake wake_;  // signalled by the service when blocks have finished
  QSocketNotifier *wakeNotifier_ = nullptr;
};
