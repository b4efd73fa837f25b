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
class SysExSender;

// The MIDI output port: one device of the backend's output service. Short messages leave at
// once; SysEx blocks are copied and sent by the port's own sender thread, paced so the service
// drops nothing. All members are for the GUI thread.
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
  uint16_t LastError() const { return LastError_; }
  bool IsOpen() const { return open_; }

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

  // GUI thread; fired once per WriteSysEx after its last byte has left. May call the port.
  std::function<void(QObject *Sender)> Onmidioutput;

  // Technology codes.
  static constexpr uint8_t modMidiPort = 1;
  static constexpr uint8_t modMapper = 5;

 private:
  // GUI thread: a SysEx block of the given open session finished with `result`.
  void HandleNotice(uint64_t session, uint16_t result);
  void Check(uint16_t result);
  [[noreturn]] void Raise(const QString &text) const;
  void RaisePendingError();

  MidiBackend &backend_;
  std::unique_ptr<MidiOutConnection> api_;
  int DeviceID_ = 0;
  bool open_ = false;
  std::unique_ptr<CallbackRecord> CallbackRecord_;
  uint16_t LastError_ = 0;
  uint32_t DriverVersion_ = 0;
  QString ProductName_;
  uint8_t Technology_ = 0;
  uint16_t DeviceCount_ = 0;
  uint64_t session_ = 0;       // counts opens, so notices of an earlier session fire nothing
  uint16_t pendingError_ = 0;  // a SysEx send that failed after WriteSysEx returned
  std::unique_ptr<SysExSender> sender_;
};
