// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "LoopbackBackend.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <set>

namespace {
const QString kVirtualPortName = QStringLiteral("Kelvane");
}

class LoopbackIn;

struct LoopbackBackend::State {
  mutable std::mutex mutex;
  QStringList outputs, inputs;
  std::set<QString> refused, gone;
  bool virtualPort = true;
  MidiSysExPacing pacing;
  bool alive = true;
  std::atomic<uint64_t> overruns{0};
  std::set<QString> hardware;  // devices whose ports stand for a cable
  std::map<QString, std::vector<QByteArray>> sent;
  std::atomic<int> calls{0};
  std::vector<LoopbackIn *> openInputs;
  MidiWake *devicesWake = nullptr;

  // Call with `mutex` held.
  void DevicesChanged() const {
    if (devicesWake) devicesWake->Signal();
  }
  uint16_t OpenCheck(const QString &name) const {
    if (!alive) return mrServerGone;
    if (refused.count(name)) return mrAllocated;
    return mrOk;
  }
};

namespace {

uint16_t NameOf(const QStringList &devices, int id, QString &name) {
  if (id < 0 || id >= devices.size()) return mrBadDeviceId;
  name = devices.at(id);
  return mrOk;
}

}  // namespace

class LoopbackOut : public PumpedOutConnection {
 public:
  explicit LoopbackOut(std::shared_ptr<LoopbackBackend::State> state) : state_(std::move(state)) {}
  ~LoopbackOut() override { Close(); }

  uint16_t PortCount() override {
    std::lock_guard lock(Enter());
    return state_->alive ? static_cast<uint16_t>(state_->outputs.size()) : 0;
  }
  uint16_t PortName(int id, QString &name) override {
    std::lock_guard lock(Enter());
    if (!state_->alive) return mrServerGone;
    if (id == -1) {
      if (!state_->virtualPort) return mrNotSupported;
      name = kVirtualPortName;
      return mrOk;
    }
    return NameOf(state_->outputs, id, name);
  }
  bool IsOpen() const override { return open_; }
  uint64_t Overruns() const override { return state_->overruns.load(); }
  MidiOutPacing WirePacing() const override {
    std::lock_guard lock(state_->mutex);
    if (!state_->hardware.count(device_)) return MidiOutPacing::Service;
    return lifted_ ? MidiOutPacing::HardwareLifted : MidiOutPacing::HardwareWire;
  }
  void LiftHardwarePacing(bool lift) override { lifted_ = lift; }

 protected:
  uint16_t OpenDevice(int id) override {
    std::lock_guard lock(Enter());
    QString name;
    if (!state_->alive) return mrServerGone;
    if (id == -1 && state_->virtualPort)
      name = kVirtualPortName;
    else if (uint16_t rc = NameOf(state_->outputs, id, name))
      return rc;
    if (uint16_t rc = state_->OpenCheck(name)) return rc;
    device_ = name;
    open_ = true;
    return mrOk;
  }
  uint16_t CloseDevice() override {
    std::lock_guard lock(Enter());
    if (!open_) return mrInvalidHandle;
    open_ = false;
    return mrOk;
  }
  uint16_t Health() override {
    std::lock_guard lock(state_->mutex);
    if (!open_) return mrInvalidHandle;
    if (!state_->alive) return mrServerGone;
    if (state_->gone.count(device_)) return mrDeviceGone;
    return mrOk;
  }
  uint16_t WireShort(uint32_t packed) override {
    const uint8_t bytes[3] = {static_cast<uint8_t>(packed), static_cast<uint8_t>(packed >> 8),
                              static_cast<uint8_t>(packed >> 16)};
    return Record(bytes, ShortMessageLength(bytes[0]), false);
  }
  uint16_t WireBytes(const uint8_t *bytes, size_t length) override {
    return Record(bytes, length, true);
  }
  bool WireNeverBlocks() const override { return true; }
  MidiSysExPacing Pacing() const override {
    std::lock_guard lock(state_->mutex);
    return state_->pacing;
  }

 private:
  std::mutex &Enter() {
    state_->calls.fetch_add(1, std::memory_order_relaxed);
    return state_->mutex;
  }
  uint16_t Record(const uint8_t *bytes, size_t length, bool paced) {
    std::lock_guard lock(Enter());
    if (!open_) return mrInvalidHandle;
    if (!state_->alive) return mrServerGone;
    if (state_->gone.count(device_)) return mrDeviceGone;
    if (paced && state_->pacing.MaxBytes && length > state_->pacing.MaxBytes) return mrInvalidParam;
    state_->sent[device_].emplace_back(reinterpret_cast<const char *>(bytes),
                                       static_cast<qsizetype>(length));
    return mrOk;
  }

  std::shared_ptr<LoopbackBackend::State> state_;
  QString device_;
  std::atomic<bool> open_{false};
  bool lifted_ = false;
};

class LoopbackIn : public MidiInConnection {
 public:
  explicit LoopbackIn(std::shared_ptr<LoopbackBackend::State> state) : state_(std::move(state)) {}
  ~LoopbackIn() override { Close(); }

  uint16_t PortCount() override {
    std::lock_guard lock(Enter());
    return state_->alive ? static_cast<uint16_t>(state_->inputs.size()) : 0;
  }
  uint16_t PortName(int id, QString &name) override {
    std::lock_guard lock(Enter());
    if (!state_->alive) return mrServerGone;
    return NameOf(state_->inputs, id, name);
  }
  uint16_t Open(int id, MidiInputCallback callback, void *context) override {
    std::lock_guard lock(Enter());
    QString name;
    if (!state_->alive) return mrServerGone;
    if (uint16_t rc = NameOf(state_->inputs, id, name)) return rc;
    if (uint16_t rc = state_->OpenCheck(name)) return rc;
    device_ = name;
    callback_ = callback;
    context_ = context;
    state_->openInputs.push_back(this);
    return mrOk;
  }
  uint16_t Close() override {
    // Holding the lock that Inject holds while it delivers: no callback runs after this.
    std::lock_guard lock(Enter());
    auto &open = state_->openInputs;
    auto it = std::find(open.begin(), open.end(), this);
    if (it == open.end()) return mrInvalidHandle;
    open.erase(it);
    return mrOk;
  }
  bool IsOpen() const override {
    std::lock_guard lock(state_->mutex);
    const auto &open = state_->openInputs;
    return std::find(open.begin(), open.end(), this) != open.end();
  }
  uint64_t Overruns() const override { return state_->overruns.load(); }

  const QString &Device() const { return device_; }
  void Deliver(const uint8_t *bytes, size_t length) { callback_(context_, bytes, length); }

 private:
  std::mutex &Enter() {
    state_->calls.fetch_add(1, std::memory_order_relaxed);
    return state_->mutex;
  }

  std::shared_ptr<LoopbackBackend::State> state_;
  QString device_;
  MidiInputCallback callback_ = nullptr;
  void *context_ = nullptr;
};

LoopbackBackend::LoopbackBackend(QStringList outputs, QStringList inputs)
    : state_(std::make_shared<State>()) {
  state_->outputs = std::move(outputs);
  state_->inputs = std::move(inputs);
}

LoopbackBackend::~LoopbackBackend() = default;

std::unique_ptr<MidiOutConnection> LoopbackBackend::CreateOutput() {
  return std::make_unique<LoopbackOut>(state_);
}
std::unique_ptr<MidiInConnection> LoopbackBackend::CreateInput() {
  return std::make_unique<LoopbackIn>(state_);
}

std::optional<QString> LoopbackBackend::ErrorText(uint16_t code) const {
  if (code == mrServerGone) return QStringLiteral("The loopback MIDI service has stopped");
  return MidiBackend::ErrorText(code);
}

std::vector<QByteArray> LoopbackBackend::Sent(const QString &name) const {
  std::lock_guard lock(state_->mutex);
  auto it = state_->sent.find(name);
  return it == state_->sent.end() ? std::vector<QByteArray>{} : it->second;
}

QByteArray LoopbackBackend::SentBytes(const QString &name) const {
  QByteArray all;
  for (const QByteArray &message : Sent(name)) all += message;
  return all;
}

void LoopbackBackend::ClearSent() {
  std::lock_guard lock(state_->mutex);
  state_->sent.clear();
}

int LoopbackBackend::CallCount() const {
  return state_->calls.load();
}

void LoopbackBackend::SetRefuseOpen(const QString &name, bool refuse) {
  std::lock_guard lock(state_->mutex);
  if (refuse)
    state_->refused.insert(name);
  else
    state_->refused.erase(name);
}

void LoopbackBackend::RemoveDevice(const QString &name) {
  std::lock_guard lock(state_->mutex);
  state_->outputs.removeAll(name);
  state_->inputs.removeAll(name);
  state_->gone.insert(name);
  state_->DevicesChanged();
}

void LoopbackBackend::AddOutput(const QString &name) {
  std::lock_guard lock(state_->mutex);
  state_->outputs << name;
  state_->gone.erase(name);
  state_->DevicesChanged();
}

void LoopbackBackend::AddInput(const QString &name) {
  std::lock_guard lock(state_->mutex);
  state_->inputs << name;
  state_->gone.erase(name);
  state_->DevicesChanged();
}

bool LoopbackBackend::WatchDevices(MidiWake *wake) {
  std::lock_guard lock(state_->mutex);
  state_->devicesWake = wake;
  return true;
}

bool LoopbackBackend::Answers() {
  std::lock_guard lock(state_->mutex);
  return state_->alive;
}

void LoopbackBackend::SetVirtualPort(bool available) {
  std::lock_guard lock(state_->mutex);
  state_->virtualPort = available;
}

void LoopbackBackend::SetPacing(MidiSysExPacing pacing) {
  std::lock_guard lock(state_->mutex);
  state_->pacing = pacing;
}

void LoopbackBackend::SimulateOverrun() {
  state_->overruns.fetch_add(1);
}

void LoopbackBackend::SetHardware(const QString &name) {
  std::lock_guard lock(state_->mutex);
  state_->hardware.insert(name);
}

void LoopbackBackend::SetServerAlive(bool alive) {
  std::lock_guard lock(state_->mutex);
  state_->alive = alive;
  state_->DevicesChanged();
}

bool LoopbackBackend::Inject(const QString &name, const uint8_t *bytes, size_t length) {
  std::lock_guard lock(state_->mutex);
  if (!state_->alive || state_->gone.count(name)) return false;
  for (LoopbackIn *input : state_->openInputs) {
    if (input->Device() != name) continue;
    input->Deliver(bytes, length);
    return true;
  }
  return false;
}
