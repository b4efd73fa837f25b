// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceWatch.h"

#include <QSocketNotifier>
#include <QTimer>

namespace {

// One for the process, never freed: a service's thread (a JACK server that answers late, say)
// may signal it at any time, even while the process ends.
MidiWake &DeviceChangeWake() {
  static auto *wake = new MidiWake;
  return *wake;
}

}  // namespace

TDeviceWatch::TDeviceWatch(MidiBackend &backend, QObject *owner)
    : QObject(owner), wake_(DeviceChangeWake()) {
  notifier_ = new QSocketNotifier(wake_.Fd(), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] {
    wake_.Drain();
    Changed();
  });
  timer_ = new QTimer(this);
  timer_->setInterval(kLookIntervalMs);
  connect(timer_, &QTimer::timeout, this, &TDeviceWatch::Changed);
  announced_ = backend.WatchDevices(&wake_);
  UpdateTimer();
}

void TDeviceWatch::SetLooking(bool looking) {
  looking_ = looking;
  UpdateTimer();
}

void TDeviceWatch::UpdateTimer() {
  const bool look = looking_ || !announced_;
  if (look && !timer_->isActive()) timer_->start();
  if (!look) timer_->stop();
}

void TDeviceWatch::Changed() {
  if (OnChange) OnChange();
}
