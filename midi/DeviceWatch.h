// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <functional>

#include "MidiBackend.h"

class QSocketNotifier;
class QTimer;

// Tells the GUI thread when the service's device lists may have changed: at once where the
// service announces it (a JACK port registered, an ALSA client gone), and by a look every two
// seconds where it announces nothing, or while Kelvane waits for something no announcement
// reaches (a device to come back, a server to start).
class TDeviceWatch : public QObject {
  Q_OBJECT
 public:
  static constexpr int kLookIntervalMs = 2000;

  TDeviceWatch(MidiBackend &backend, QObject *owner);

  // Looks every two seconds even where the service announces its changes.
  void SetLooking(bool looking);

  // GUI thread: the lists may have changed; compare them with what is shown.
  std::function<void()> OnChange;

 private:
  void UpdateTimer();
  void Changed();

  MidiWake &wake_;
  QSocketNotifier *notifier_ = nullptr;
  QTimer *timer_ = nullptr;
  bool announced_ = false;
  bool looking_ = false;
};
