// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <mutex>
#include <vector>

#include "MidiBackend.h"
#include "PumpedOutConnection.h"

// The in-process MIDI service for tests: a few named devices per direction, a record of every
// message sent, input injected from any thread, and devices that refuse to open or vanish.
// Output device -1 is the virtual port "Kelvane" unless SetVirtualPort(false).
// Every test control may be called from any thread.
class LoopbackBackend : public MidiBackend {
 public:
  explicit LoopbackBackend(QStringList outputs = {QStringLiteral("Loopback Out 1"),
                                                  QStringLiteral("Loopback Out 2"),
                                                  QStringLiteral("Loopback Out 3")},
                           QStringList inputs = {QStringLiteral("Loopback In 1"),
                                                 QStringLiteral("Loopback In 2")});
  ~LoopbackBackend() override;

  QString Api() const override { return QStringLiteral("loopback"); }
  std::unique_ptr<MidiOutConnection> CreateOutput() override;
  std::unique_ptr<MidiInConnection> CreateInput() override;
  std::optional<QString> ErrorText(uint16_t code) const override;
  // Adding, removing and a server that dies or comes back signal the wake.
  bool WatchDevices(MidiWake *wake) override;
  bool Answers() override;

  // Every SendShort (as the bytes its status needs) and SendBytes call on device `name`, in order.
  std::vector<QByteArray> Sent(const QString &name) const;
  // All bytes sent to device `name`, joined.
  QByteArray SentBytes(const QString &name) const;
  void ClearSent();
  // Number of calls made into the connections of this backend (enumeration, open, send, close).
  int CallCount() const;

  void SetRefuseOpen(const QString &name, bool refuse);
  // The device disappears from both directions' lists; open connections to it fail with
  // mrDeviceGone from then on.
  void RemoveDevice(const QString &name);
  void AddOutput(const QString &name);
  void AddInput(const QString &name);
  void SetVirtualPort(bool available);
  void SetPacing(MidiSysExPacing pacing);
  // The service may have lost data on every open connection, as a JACK server that overran.
  void SimulateOverrun();
  // Output device `name` stands for a cable, as a JACK port flagged physical does.
  void SetHardware(const QString &name);
  // A dead service fails every call with mrServerGone, as a stopped MIDI server does.
  void SetServerAlive(bool alive);
  // Delivers `bytes` to the connection that has input device `name` open, on the calling thread.
  // False when no connection has it open.
  bool Inject(const QString &name, const uint8_t *bytes, size_t length);
  bool Inject(const QString &name, const QByteArray &bytes) {
    return Inject(name, reinterpret_cast<const uint8_t *>(bytes.constData()),
                  static_cast<size_t>(bytes.size()));
  }

  struct State;  // shared with the connections, which may outlive nothing but need the lock

 private:
  std::shared_ptr<State> state_;
};
