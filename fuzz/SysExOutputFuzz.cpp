// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: a .syx file's way out, through TMidiOutput::WriteSysEx over the loopback service.
// Input: one byte of set-up, then the file's bytes.
//   bits 0-5  the service's largest piece (0 = any length)
//   bit 6     a note-on is sent while the file is in flight
//   bit 7     the file is sent twice in a row
// A control change goes out before the file and a note-off after everything. Whatever the
// bytes, the loopback's record must read as the short messages in the order they were sent and
// the files' bytes in order: each file split at each F7 and into pieces the service takes, no
// short message inside a SysEx message (a short message may go ahead of a SysEx message that
// has not begun, never ahead of one sent before it), and nothing else.
// A file whose last message lacks its F7 is closed with one.

#include <QTimer>
#include <chrono>
#include <set>
#include <utility>
#include <vector>

#include "FuzzSupport.h"
#include "LoopbackBackend.h"
#include "MidiOut.h"

namespace {

const QString kDevice = QStringLiteral("Loopback Out 1");
LoopbackBackend *backend = nullptr;
TMidiOutput *port = nullptr;
int finishedBlocks = 0;

const QByteArray kBefore("\xB0\x7B\x00", 3);  // all notes off, channel 1
const QByteArray kDuring("\x90\x3C\x40", 3);  // note-on C4
const QByteArray kAfter("\x80\x3C\x00", 3);   // note-off C4

// True when the bytes after the last F7 open a message (an F0) that never ends.
bool EndsInsideAMessage(const QByteArray &file) {
  return file.indexOf('\xF0', file.lastIndexOf('\xF7') + 1) >= 0;
}

// One short message sent, and how many file bytes had been handed to the port before it: it
// must leave before any byte of a file sent after it.
struct SentShort {
  QByteArray bytes;
  qsizetype fileBytesBefore;
};

// Every job the port's sender thread finishes posts a notice to this thread, so waiting for the
// next event never misses the moment everything has left.
void WaitUntilSent(int blocks, qsizetype totalBytes) {
  bool timedOut = false;
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [&] { timedOut = true; });
  watchdog.start(10000);
  while (finishedBlocks < blocks || backend->SentBytes(kDevice).size() < totalBytes) {
    if (timedOut)
      fuzz::Fail("the transfer did not finish within 10 s",
                 "sent " + QByteArray::number(backend->SentBytes(kDevice).size()) + " of " +
                     QByteArray::number(totalBytes) + " bytes");
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
}

QByteArray Describe(const std::vector<QByteArray> &sent) {
  QByteArray out;
  for (const QByteArray &entry : sent) out += "[" + fuzz::Hex(entry) + "] ";
  return out.left(2000);
}

// Reads the record as a receiver would, deciding for each entry whether it is the next short
// message or the next piece of the files; a piece that looks like a short message makes either
// reading possible, so both are tried (remembering what failed).
class RecordReader {
 public:
  RecordReader(const std::vector<QByteArray> &sent, const std::vector<SentShort> &shorts,
               const QByteArray &files, size_t maxPiece)
      : sent_(sent), shorts_(shorts), files_(files), maxPiece_(maxPiece) {}

  bool Reads() { return Read(0, 0, 0, false); }

 private:
  bool Read(size_t at, size_t shortAt, qsizetype fileAt, bool inside) {
    if (at == sent_.size()) return shortAt == shorts_.size() && fileAt == files_.size();
    if (!failed_.insert({at, shortAt}).second) return false;
    const QByteArray &entry = sent_[at];
    if (!inside && shortAt < shorts_.size() && entry == shorts_[shortAt].bytes &&
        fileAt <= shorts_[shortAt].fileBytesBefore && Read(at + 1, shortAt + 1, fileAt, false))
      return true;
    if (!IsPiece(entry, fileAt)) return false;
    bool stillInside = inside;
    for (char c : entry) {
      if (uint8_t(c) == 0xF0) stillInside = true;
      if (uint8_t(c) == 0xF7) stillInside = false;
    }
    return Read(at + 1, shortAt, fileAt + entry.size(), stillInside);
  }

  bool IsPiece(const QByteArray &entry, qsizetype fileAt) const {
    if (entry.isEmpty() || files_.mid(fileAt, entry.size()) != entry) return false;
    if (maxPiece_ && size_t(entry.size()) > maxPiece_) return false;
    const qsizetype f7 = entry.indexOf('\xF7');
    return f7 < 0 || f7 == entry.size() - 1;  // a piece never runs on past an F7
  }

  const std::vector<QByteArray> &sent_;
  const std::vector<SentShort> &shorts_;
  const QByteArray &files_;
  size_t maxPiece_;
  std::set<std::pair<size_t, size_t>> failed_;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz::StartApplication();
  backend = new LoopbackBackend;
  port = new TMidiOutput(*backend);
  port->SetProductName(kDevice);
  if (!port->OpenPort()) fuzz::Fail("the loopback output does not open");
  port->Onmidioutput = [](QObject *) { ++finishedBlocks; };
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  const uint8_t setup = data[0];
  const size_t maxPiece = setup & 0x3F;
  const bool shortDuring = setup & 0x40;
  const bool twice = setup & 0x80;
  const QByteArray file(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(size - 1));

  backend->ClearSent();
  backend->SetPacing(MidiSysExPacing{maxPiece, std::chrono::microseconds(0)});
  finishedBlocks = 0;

  std::vector<SentShort> shorts;
  QByteArray files;
  int blocks = 0;
  auto sendShort = [&](const QByteArray &bytes) {
    port->WriteShortMessage(uint8_t(bytes[0]), uint8_t(bytes[1]), uint8_t(bytes[2]));
    shorts.push_back({bytes, files.size()});
  };
  auto sendFile = [&] {
    port->WriteSysEx(reinterpret_cast<const uint8_t *>(file.constData()), size_t(file.size()));
    if (file.isEmpty()) return;  // nothing leaves and nothing is reported
    files += file + (EndsInsideAMessage(file) ? QByteArray("\xF7", 1) : "");
    ++blocks;
  };
  try {
    sendShort(kBefore);
    sendFile();
    if (shortDuring) sendShort(kDuring);
    if (twice) sendFile();
    sendShort(kAfter);
  } catch (const Exception &error) {
    fuzz::Fail("the port raised", error.Message().toUtf8());
  }

  qsizetype total = files.size();
  for (const SentShort &item : shorts) total += item.bytes.size();
  WaitUntilSent(blocks, total);
  fuzz::Expect(port->LastError() == 0, "the port reports an error");

  const std::vector<QByteArray> sent = backend->Sent(kDevice);
  fuzz::Expect(RecordReader(sent, shorts, files, maxPiece).Reads(),
               "the record is not the short messages and the files' pieces in a right order",
               Describe(sent));
  return 0;
}
