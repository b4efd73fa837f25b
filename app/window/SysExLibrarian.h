// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>

#include "SysExRecorder.h"
#include "SysExSender.h"
#include "SysExTexts.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class TForm1;

// The SysEx page as a librarian, beside its three buttons: a pause between messages and the
// MIDI wire speed for sending, a progress bar and a cancel, a check of every file before it is
// sent and after it is saved, and for recording a live count, a stop after a quiet time and a
// request sent when recording starts. Its controls sit in the page's free space; its settings
// live in the store's "setup" section beside the others. GUI thread only.
class TSysExLibrarian : public QObject {
 public:
  explicit TSysExLibrarian(TForm1 &window);

  void LoadSettings();
  // The output port has opened on another device (or closed): the fast-port box follows it.
  void OutputChanged();

  // From the window's handlers (Unit1Sysex.cpp).
  // The send button's file: checked, then sent paced; faults are shown with the choice to send
  // anyway or not.
  void Send(const QString &name, const QByteArray &file);
  // The port's Onmidioutput: true when the block that ended was one of the transfer's.
  bool BlockEnded(uint16_t error);
  // Panic, a change of output device, shutdown: the file or the dump request going out stops at
  // once (its message in flight ends with F7) and ends Cancelled, `why` in the page's tooltip.
  // False when nothing was going out.
  bool StopTransfer(const QString &why = {});
  void ReceptionStarted();
  void ReceptionGrew(const QByteArray &buffer);
  // The done button has written `saved` to `name` (nothing was written when `saved` is empty).
  void ReceptionSaved(const QString &name, const QByteArray &saved);

  // The pacing the page's controls stand at.
  SysExPacing Pacing() const;
  // The request as it stands: typed hex bytes, or the bytes of the chosen file.
  QByteArray RequestBytes() const;

  // The controls, by their names.
  QComboBox *pausebox = nullptr;
  QCheckBox *wirespeed = nullptr;
  QCheckBox *fastport = nullptr;
  QPushButton *cancelbtn = nullptr;
  QProgressBar *sysexprogress = nullptr;
  QLabel *sysexinfo = nullptr;
  QCheckBox *quietstop = nullptr;
  QSpinBox *quietsecs = nullptr;
  QCheckBox *requeston = nullptr;
  QLineEdit *requestedit = nullptr;
  QPushButton *requestbtn = nullptr;

 private:
  void CreateControls();
  void BindControls();
  // The control handlers: each writes its value to the store at once.
  void pauseboxChange();
  void wirespeedClick();
  void fastportClick();
  QStringList FastPorts() const;
  void quietstopChange();
  void requestChange();
  void requestbtnClick();
  void cancelbtnClick();

  void TransferFinished(TSysExSender::Outcome outcome, const QString &error);
  void ShowSendProgress();
  void SetTransferRunning(bool running);

  TForm1 &window_;
  TSysExSender sender_;
  TSysExRecorder recorder_;
  bool sendingRequest_ = false;   // the transfer running is a dump request
  uint64_t sendOverruns_ = 0;     // the output's overruns when the transfer started
  uint64_t receiveOverruns_ = 0;  // the input's overruns when the recording started
};
