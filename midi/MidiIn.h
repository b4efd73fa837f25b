// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "Circbuf.h"
#include "Exception.h"
#include "MidiBackend.h"
#include "Miditype.h"

class EMidiInputError : public Exception {
 public:
  using Exception::Exception;
};

struct CallbackRecord;
class QSocketNotifier;

// The MIDI input port: one device of the backend's input service. The backend's thread runs the
// driver callback, which stores entries in the event ring and posts a notice; on the GUI thread
// the port fires OnMidiInput and the consumer takes events with ReadEvent. All members are for
// the GUI thread.
class TMidiInput : public QObject {
  Q_OBJECT

 public:
  explicit TMidiInput(MidiBackend &backend, QObject *owner = nullptr);
  ~TMidiInput() override;

  uint16_t DeviceID() const { return DeviceID_; }
  void SetDeviceID(uint16_t id);
  QString ProductName() const { return ProductName_; }
  void SetProductName(const QString &name);
  uint16_t DeviceCount() const { return DeviceCount_; }
  // The devices there are now, looked up afresh (DeviceCount follows), whether open or not.
  QStringList DeviceNames();
  // The device the port is open on has gone from under it (its server died, its port went),
  // although one of its name may be there again by now.
  bool Lost() const { return open_ && api_->Lost(); }
  // The open device has moved to number `id` in the list (others came or went before it).
  void FollowMovedDevice(uint16_t id) { DeviceID_ = id; }
  uint16_t Error() const { return Error_; }
  // Times the service may have lost input on its way here since the port opened (a JACK
  // server's overruns); a dump recorded while it grew may be missing data.
  uint64_t Overruns() const { return open_ ? api_->Overruns() : 0; }
  bool IsOpen() const { return open_; }
  uint32_t Capacity() const { return Capacity_; }
  void SetCapacity(uint32_t capacity) { Capacity_ = capacity; }
  uint32_t SysexBufferSize() const { return SysexBufferSize_; }
  void SetSysexBufferSize(uint32_t size);
  uint16_t SysexBufferCount() const { return SysexBufferCount_; }
  void SetSysexBufferCount(uint16_t count);
  bool SysexOnly() const { return SysexOnly_; }
  void SetSysexOnly(bool only);

  uint32_t DriverVersion() const { return 0; }
  uint16_t ManufacturerCode() const { return 0; }
  uint16_t ProductCode() const { return 0; }

  void OpenPort();  // raises nothing; after a failure the port is closed and Error() says why
  void ClosePort();
  void StartInput();
  uint32_t PendingCount() const;
  std::unique_ptr<TMyMidiEvent> ReadEvent();  // null when none is waiting or closed
  QString ErrorText(uint16_t code) const;

  // GUI thread: events are waiting. May call ReadEvent and any other member.
  std::function<void(QObject *Sender)> OnMidiInput;
  // GUI thread: input was lost (ring full or no free receive buffer).
  std::function<void(QObject *Sender)> OnOverflow;

 private:
  friend void DeliverNotices(CallbackRecord &record) noexcept;
  // GUI thread: the driver callback's pending notices.
  void HandleNotice();
  void Check(uint16_t result);
  [[noreturn]] void Raise(const QString &text) const;
  void OpenDevice();
  void ReleaseReceiveState();

  MidiBackend &backend_;
  std::unique_ptr<MidiInConnection> api_;
  uint16_t DeviceID_ = 0;
  bool open_ = false;
  bool constructing_ = true;
  uint16_t Error_ = 0;
  bool SysexOnly_ = false;
  QString ProductName_;
  uint32_t Capacity_ = 1024;
  EventRing *EventBuffer_ = nullptr;
  uint16_t DeviceCount_ = 0;
  uint32_t SysexBufferSize_ = 4096;
  uint16_t SysexBufferCount_ = 16;
  std::vector<std::unique_ptr<TMyMidiHdr>> SysExBuffers_;
  EventRing *FreeBuffers_ = nullptr;  // receive buffers given back to the driver side
  std::unique_ptr<CallbackRecord> CallbackRecord_;
  MidiWake wake_;  // signalled by the driver callback
  QSocketNotifier *wakeNotifier_ = nullptr;
};
