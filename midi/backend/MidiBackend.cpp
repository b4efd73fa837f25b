// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiBackend.h"

#include "RtMidiBackend.h"

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
      return QStringLiteral("The MIDI server has stopped; choose the device again once it runs");
    case mrDeviceGone:
      return QStringLiteral("The MIDI device has been removed");
    default:
      return std::nullopt;
  }
}

namespace {

class NoDeviceOut : public MidiOutConnection {
 public:
  uint16_t PortCount() override { return 0; }
  uint16_t PortName(int, QString &) override { return mrBadDeviceId; }
  uint16_t Open(int) override { return mrBadDeviceId; }
  uint16_t Close() override { return mrInvalidHandle; }
  bool IsOpen() const override { return false; }
  uint16_t SendShort(uint32_t) override { return mrInvalidHandle; }
  uint16_t SendBytes(const uint8_t *, size_t) override { return mrInvalidHandle; }
  MidiSysExPacing Pacing() const override { return {}; }
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

QStringList MidiBackendApis() {
  QStringList apis = CompiledRtMidiApis();
  apis << QStringLiteral("loopback");
  return apis;
}

std::unique_ptr<MidiBackend> CreateMidiBackend(const QString &api) {
  const QString name = api.trimmed().toLower();
  if (name == QLatin1String("loopback")) return std::make_unique<LoopbackBackend>();
  if (name.isEmpty()) {
    // The first compiled service that really works; the loopback is for tests only.
    for (const QString &candidate : CompiledRtMidiApis())
      if (auto backend = CreateRtMidiBackend(candidate, /*mustWork=*/true)) return backend;
  } else if (CompiledRtMidiApis().contains(name)) {
    // Asked for by name: keep it even if its service is down now, so its devices appear once
    // the service runs.
    if (auto backend = CreateRtMidiBackend(name, /*mustWork=*/false)) return backend;
  }
  return std::make_unique<NoDeviceBackend>();
}
