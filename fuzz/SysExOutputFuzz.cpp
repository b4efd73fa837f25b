// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: a .syx file's way out, through TMidiOutput::WriteSysEx over the loopback service.
// Input: one byte of set-up, then the file's bytes.
//   bits 0-5  the service's largest piece (0 = any length)
//   bit 6     a note-on is sent while the file is in flight
//   bit 7     the file is sent twice in a row
// A control change goes out before the file and a note-off after everything. Whatever the
// bytes, the loopback's record must show exactly the short messages and the file's bytes in the
// order they were sent; the file split at each F7 and into pieces the service takes, and no
// short message between the pieces of one file.
// A file whose last message lacks its F7 is closed with one, so the wire, read as a receiver
// reads it, never has a short message inside a SysEx message.

#include <QTimer>
#include <chrono>
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

struct Expected {
  bool isShort;
  QByteArray bytes;
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

// Walks the record against what was sent: each short message whole and in its place, each file
// as pieces that join to its bytes.
void CheckRecord(const std::vector<QByteArray> &sent, const std::vector<Expected> &expected,
                 size_t maxPiece) {
  size_t at = 0;
  for (const Expected &item : expected) {
    if (item.isShort) {
      fuzz::Expect(at < sent.size() && sent[at] == item.bytes,
                   "a short message is missing or out of place", Describe(sent));
      ++at;
      continue;
    }
    QByteArray joined;
    while (joined.size() < item.bytes.size()) {
      fuzz::Expect(at < sent.size(), "the file's bytes did not all leave", Describe(sent));
      const QByteArray &piece = sent[at++];
      fuzz::Expect(!piece.isEmpty(), "an empty piece was sent");
      fuzz::Expect(maxPiece == 0 || size_t(piece.size()) <= maxPiece,
                   "a piece is larger than the service takes", Describe(sent));
      const qsizetype f7 = piece.indexOf('\xF7');
      fuzz::Expect(f7 < 0 || f7 == piece.size() - 1, "a piece runs on past an F7", Describe(sent));
      joined += piece;
    }
    fuzz::Expect(
        joined == item.bytes, "the bytes sent are not the file's bytes in order",
        "file " + fuzz::Hex(item.bytes).left(600) + "\nsent " + fuzz::Hex(joined).left(600));
  }
  fuzz::Expect(at == sent.size(), "more was sent than was asked for", Describe(sent));
}

// The wire as a receiver reads it: F0 opens a message, F7 closes it.
void CheckWire(const std::vector<QByteArray> &sent, const std::vector<Expected> &expected) {
  bool inside = false;
  for (const Expected &item : expected) {
    if (item.isShort) {
      fuzz::Expect(!inside, "a short message lands inside a SysEx message", Describe(sent));
      continue;
    }
    for (char c : item.bytes) {
      const auto byte = static_cast<uint8_t>(c);
      if (byte == 0xF0) inside = true;
      if (byte == 0xF7) inside = false;
    }
  }
}

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

  std::vector<Expected> expected;
  int blocks = 0;
  auto sendShort = [&](const QByteArray &bytes) {
    port->WriteShortMessage(uint8_t(bytes[0]), uint8_t(bytes[1]), uint8_t(bytes[2]));
    expected.push_back({true, bytes});
  };
  auto sendFile = [&] {
    port->WriteSysEx(reinterpret_cast<const uint8_t *>(file.constData()), size_t(file.size()));
    if (file.isEmpty()) return;  // nothing leaves and nothing is reported
    expected.push_back({false, file + (EndsInsideAMessage(file) ? QByteArray("\xF7", 1) : "")});
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

  qsizetype total = 0;
  for (const Expected &item : expected) total += item.bytes.size();
  WaitUntilSent(blocks, total);
  fuzz::Expect(port->LastError() == 0, "the port reports an error");

  const std::vector<QByteArray> sent = backend->Sent(kDevice);
  CheckRecord(sent, expected, maxPiece);
  CheckWire(sent, expected);
  return 0;
}
