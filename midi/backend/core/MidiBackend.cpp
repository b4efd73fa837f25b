// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiBackend.h"

std::optional<QString> MidiBackend::ErrorText(uint16_t code) const {
  switch (code) {
    case mrOk:
      return QStringLiteral("The operation completed successfully");
    case mrError:
      return QStringLiteral("An unspecified error occurred in the MIDI service");
    case mrBadDeviceId:
      return QStringLiteral("The MIDI device ID is out of range");
    case mrAllocated:
      return QStringLiteral("The MIDI device is already in use or refused to open");
    case mrInvalidHandle:
      return QStringLiteral("The MIDI device handle is invalid: the device is not open");
    case mrNoDriver:
      return QStringLiteral("No MIDI service is available");
    case mrNoMemory:
      return QStringLiteral("The MIDI service could not allocate memory");
    case mrNotSupported:
      return QStringLiteral("The MIDI service does not support this function");
    case mrInvalidParam:
      return QStringLiteral("An invalid parameter was passed to the MIDI service");
    case mrServerGone:
      return QStringLiteral(
          "The MIDI server has stopped; Kelvane uses the device again once it runs");
    case mrDeviceGone:
      return QStringLiteral("The MIDI device is gone; Kelvane uses it again when it is back");
    case mrNotTaking:
      return QStringLiteral("The MIDI server is not taking data");
    case mrNotAnswering:
      return QStringLiteral("The MIDI server is not answering");
    default:
      return std::nullopt;
  }
}

uint16_t MidiOutConnection::SendShort(uint32_t packed) {
  if (const uint16_t result = Health()) return result;
  if (!queue_.PushShort(packed)) return mrNotTaking;
  Kick();
  return mrOk;
}

uint16_t MidiOutConnection::SendSysEx(std::vector<uint8_t> bytes) {
  if (const uint16_t result = Health()) return result;
  if (!queue_.PushBlock(std::move(bytes))) return mrNotTaking;
  Kick();
  return mrOk;
}

bool MidiOutConnection::CancelSysEx() {
  const bool any = queue_.Cancel();
  Kick();
  return any;
}

bool MidiOutConnection::TakeFinished(MidiOutQueue::Finished &finished) {
  return queue_.TakeFinished(finished);
}

namespace {

class NoDeviceOut : public MidiOutConnection {
 public:
  uint16_t PortCount() override { return 0; }
  uint16_t PortName(int, QString &) override { return mrBadDeviceId; }
  uint16_t Open(int) override { return mrBadDeviceId; }
  uint16_t Close() override { return mrInvalidHandle; }
  bool IsOpen() const override { return false; }
};

class NoDeviceIn : public MidiInConnection {
 public:
  uint16_t PortCount() override { return 0; }
  uint16_t PortName(int, QString &) override { return mrBadDeviceId; }
  uint16_t Open(int, MidiInputCallback, void *) override { return mrBadDeviceId; }
  uint16_t Close() override { return mrInvalidHandle; }
  bool IsOpen() const override { return false; }
};

}  // namespace

std::unique_ptr<MidiOutConnection> NoDeviceBackend::CreateOutput() {
  return std::make_unique<NoDeviceOut>();
}
std::unique_ptr<MidiInConnection> NoDeviceBackend::CreateInput() {
  return std::make_unique<NoDeviceIn>();
}
