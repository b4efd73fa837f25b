// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>
#include <functional>

class MonitorLog;
class MonitorView;
class QPushButton;
class QTimer;

// The "Kelvane monitor" window: the MIDI messages of a MonitorLog, newest last, with Pause,
// Clear and Save. It draws what the log gained ten times a second, however fast messages
// come, so that a drag with the monitor open costs about what it costs without. GUI thread only.
class MonitorWindow : public QWidget {
 public:
  // Runs a button's handler as the main window runs its own (errors shown in the error box).
  using Runner = std::function<void(const std::function<void()> &)>;
  MonitorWindow(MonitorLog &log, Runner run, QWidget *parent = nullptr);

  // The log has gained entries: they are drawn within a tenth of a second (unless paused).
  void Changed();
  // Pause holds the view still for reading; the log goes on recording, and what came meanwhile
  // is drawn when the pause ends.
  void SetPaused(bool paused);
  bool Paused() const;
  void ClearClick();
  void SaveClick();
  // Draws now what is waiting.
  void Draw();

  // Called when the window is closed or hidden, to keep its place.
  std::function<void()> OnHide;

  MonitorView *view = nullptr;
  QPushButton *pausebtn = nullptr, *clearbtn = nullptr, *savebtn = nullptr;

 protected:
  void hideEvent(QHideEvent *event) override;
  void showEvent(QShowEvent *event) override;

 private:
  MonitorLog &log_;
  Runner run_;
  QTimer *drawTimer_ = nullptr;
};
