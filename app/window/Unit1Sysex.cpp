// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The SysEx page: a .syx file sent whole, a SysEx dump recorded into a .syx file.
//
// Every function here runs on the GUI thread, inside the handler guard. The receive buffer needs
// no lock: the input port's driver thread only fills the port's ring, and the window reads it
// here when the port's notice has arrived.

#include <QComboBox>
#include <QPushButton>
#include <utility>

#include "Dialogs.h"
#include "Exception.h"
#include "MIDIappUtil.h"
#include "MidiIn.h"
#include "MidiOut.h"
#include "SysExFile.h"
#include "SysExLibrarian.h"
#include "Unit1.h"

namespace {

const QString kSyxFilter = QStringLiteral("*.syx (*.syx)");
const QString kSyxExtension = QStringLiteral(".syx");

// A dump that outgrows this is a device that never stops sending; what comes after it is
// reported as lost rather than exhausting memory.
constexpr qint64 kMaxDumpSize = qint64(256) << 20;

// The name with ".syx" appended unless it already ends in exactly ".syx" (case-sensitive:
// "dump.SYX" becomes "dump.SYX.syx").
QString WithSyxExtension(const QString &name) {
  return name.endsWith(kSyxExtension, Qt::CaseSensitive) ? name : name + kSyxExtension;
}

}  // namespace

QByteArray TForm1::ReadSysexFile(const QString &name) const {
  return ReadSysExFile(name);
}

void TForm1::SendbtnClick(QObject *) {
  const std::optional<QString> name =
      Dialogs::Current().OpenFileName(QStringLiteral("select the sysex file to send"), kSyxFilter);
  if (!name) return;
  // Checked first; then every byte of it leaves as it is in the file, message by message.
  librarian_->Send(*name, ReadSysexFile(*name));
}

void TForm1::GetBtnClick(QObject *) {
  if (midiin->count() == 0 || midiin->currentIndex() < 0) {
    engine->Ask(QStringLiteral("No MIDI input available"), 0);
    return;
  }
  const std::optional<QString> name = Dialogs::Current().SaveFileName(
      QStringLiteral("enter the file name for sysex data"), kSyxFilter);
  if (!name) return;
  targetFileName_ = WithSyxExtension(*name);
  // The buffer is not emptied: what arrived since the last done belongs to this dump too.
  Sendbtn->setEnabled(false);
  GetBtn->setEnabled(false);
  doneBTN->setEnabled(true);
  doneBTN->setFocus();
  MidiInput1->StartInput();
  sysexReceiving_ = true;
  SetStatusText(QStringLiteral("0 bytes received, start sysex dump from your midi device"));
  librarian_->ReceptionStarted();
}

void TForm1::MidiInput1MidiInput(QObject *) {
  bool received = false;
  while (MidiInput1->PendingCount() > 0) {
    const std::unique_ptr<TMyMidiEvent> event = MidiInput1->ReadEvent();
    if (!event) break;
    if (event->StatusByte != 0xF0) {
      ShortMessageArrived(*event);
      continue;
    }
    MonitorReceived(*event);
    if (!sysexReceiving_ || event->SysExByteCount == 0 || !event->SysExBytes) continue;
    if (receiveBuffer_.size() + qint64(event->SysExByteCount) > kMaxDumpSize) {
      receiveLost_ = true;
      received = true;
      continue;
    }
    // Every byte of every block, in order: a dump saved with any byte missing is corrupt.
    receiveBuffer_.append(reinterpret_cast<const char *>(event->SysExBytes.get()),
                          static_cast<qsizetype>(event->SysExByteCount));
    received = true;
  }
  if (received) ShowReceivedCount();
}

void TForm1::MidiInput1Overflow(QObject *) {
  if (!sysexReceiving_) {
    SetStatusText(QStringLiteral("MIDI input overflowed: some messages from the synth were lost"));
    return;
  }
  receiveLost_ = true;
  ShowReceivedCount();
}

// A SysEx block has ended. One that failed is reported now, when it failed, in the error box.
void TForm1::MidiOutput1midioutput(QObject *) {
  if (librarian_->BlockEnded(MidiOutput1->LastError())) return;
  if (const uint16_t code = MidiOutput1->LastError())
    throw EmidioutputError(MidiOutput1->ErrorText(code));
}

void TForm1::ShowReceivedCount() {
  QString text = QStringLiteral("   %1  bytes received").arg(receiveBuffer_.size());
  if (receiveLost_) text += QStringLiteral(", some data lost");
  SetStatusText(text);
  librarian_->ReceptionGrew(receiveBuffer_);
}

void TForm1::doneBTNClick(QObject *) {
  const QByteArray saved = receiveBuffer_;
  if (!saved.isEmpty()) {
    WriteSysExFile(targetFileName_, saved);
    receiveBuffer_.clear();
  }
  doneBTN->setEnabled(false);
  Sendbtn->setEnabled(true);
  GetBtn->setEnabled(true);
  librarian_->ReceptionSaved(targetFileName_, saved);
  // The bytes that did come are kept, but the user must not take the file for a whole dump.
  if (!std::exchange(receiveLost_, false)) return;
  const QString lost = QStringLiteral(
      "SysEx data was lost while receiving (the MIDI input could "
      "not keep up): ");
  throw Exception(!saved.isEmpty()
                      ? lost + ShownFileName(targetFileName_) + QStringLiteral(" is incomplete")
                      : lost + QStringLiteral("nothing was saved"));
}
