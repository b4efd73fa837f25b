// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "MidiWake.h"
#include "SpscRing.h"

// Where an output queue's pump writes: one JACK cycle's port buffer, or a service call.
class MidiWire {
 public:
  virtual ~MidiWire() = default;
  // The largest event that can be written now; 0 when nothing more fits this time.
  virtual size_t Room() = 0;
  // Writes one event of at most Room() bytes; a non-zero result is the service's refusal.
  virtual uint16_t Write(const uint8_t *bytes, size_t length) = 0;
  // Whether a short message of `length` bytes can be written now, and writes it. A service fed
  // piece by piece takes short messages whatever its piece size, as short messages.
  virtual bool FitsShort(size_t length) { return Room() >= length; }
  virtual uint16_t WriteShort(const uint8_t *bytes, size_t length) { return Write(bytes, length); }
  // The service takes each SysEx message whole, in one event (RtMidi's CoreMIDI and WinMM).
  virtual bool WholeMessages() const { return false; }
  // False while the next SysEx piece must wait (services paced by the clock).
  virtual bool PieceDue() { return true; }
};

// One SysEx block (a .syx file, say) on its way out.
struct SysExTransfer {
  std::vector<uint8_t> bytes;
  uint64_t sequence = 0;                    // counts the blocks of a queue, from 1
  size_t sent = 0;                          // pump side: bytes written so far
  uint16_t result = 0;                      // pump side: how it ended
  SysExTransfer *nextUnreported = nullptr;  // pump side: the next finished block kept back
};

// Result of a block that a cancel dropped; never shown to anybody.
constexpr uint16_t kTransferCancelled = 0xFFFF;

// What an output port hands to its service, and what comes back. The GUI thread is the one
// producer (short messages, SysEx blocks, cancels) and takes finished blocks back; the service's
// pump (a JACK process callback, or a thread of the connection) is the one consumer. Between the
// two there are only lock-free rings and atomics.
//
// The pump's rules: bytes of one SysEx message follow each other with nothing in between; short
// messages go out at the first message boundary, before any SysEx message that has not begun,
// so a short message waits at most for the message in flight; a cancel ends the message in flight
// with F7 and drops the rest of every block queued before it; nothing is ever dropped for want
// of room: what does not fit waits for the next call.
class MidiOutQueue {
 public:
  static constexpr size_t kShortCapacity = 4096;
  static constexpr size_t kBlockCapacity = 256;

  struct Finished {
    bool sysex = false;  // a block; false for a short message (or a cancel's F7) refused
    uint16_t result = 0;
  };

  MidiOutQueue();
  ~MidiOutQueue();
  MidiOutQueue(const MidiOutQueue &) = delete;
  MidiOutQueue &operator=(const MidiOutQueue &) = delete;

  // Signalled from the pump whenever TakeFinished has something. Set before the pump runs.
  void SetWake(MidiWake *wake) { wake_ = wake; }
  // Any thread: makes the GUI thread look at the queue (say, because the service has died).
  void Wake() noexcept {
    if (wake_) wake_->Signal();
  }

  // ---- producer: the GUI thread ----
  // False when the queue is full.
  [[nodiscard]] bool PushShort(uint32_t packed);
  // Copies nothing: takes the bytes. A block that ends inside a message gets its F7.
  // False when too many blocks are waiting to be taken back.
  [[nodiscard]] bool PushBlock(std::vector<uint8_t> bytes);
  // Cancels every block pushed so far. True when one of them had not finished.
  bool Cancel();
  // A finished block or a refused short message, in order; false when there is none.
  [[nodiscard]] bool TakeFinished(Finished &finished);
  // Blocks pushed and not yet taken back finished.
  size_t Outstanding() const { return outstanding_; }
  // Anything pushed that the pump has not taken yet.
  bool Waiting() const { return !shorts_.Empty() || !blocks_.Empty(); }
  // Once no pump can run any more: drops everything, frees the blocks, starts afresh.
  void Reset();
  // Once no pump will ever run again: every block not yet finished finishes with `result`.
  void FailUnfinished(uint16_t result);

  // ---- consumer: the pump ----
  // Writes as much as the wire takes now. No lock, no allocation, no system call but the wake.
  void Pump(MidiWire &wire);
  // Pump side: nothing left to write.
  bool Idle() { return !current_ && shorts_.Empty() && blocks_.Empty(); }
  // Pump side, and the GUI thread while it knows the pump is not running: a SysEx message has
  // begun and not ended.
  bool InsideMessage() const { return inside_; }

 private:
  bool ServeCancel(MidiWire &wire);
  bool SendShorts(MidiWire &wire);
  bool StartNextBlock();
  void Refused(uint16_t result);
  bool SendPiece(MidiWire &wire);
  size_t PieceLength(size_t room, bool wholeMessages) const;
  void Finish(SysExTransfer *block, uint16_t result);
  bool ReportFinished();

  MidiWake *wake_ = nullptr;
  SpscRing<uint32_t> shorts_{kShortCapacity};
  SpscRing<SysExTransfer *> blocks_{kBlockCapacity};
  SpscRing<SysExTransfer *> finished_{kBlockCapacity};
  // Blocks with a sequence up to this are cancelled; written by the producer (release), read by
  // the pump (acquire), so the pump sees every block the cancel covers.
  std::atomic<uint64_t> cancelThrough_{0};
  // The first short message, or F7 ending a cancelled message, that the service refused since
  // the GUI last looked.
  std::atomic<uint16_t> refusal_{0};

  // Producer's own.
  uint64_t pushed_ = 0;
  size_t outstanding_ = 0;

  // Pump's own.
  SysExTransfer *current_ = nullptr;
  bool inside_ = false;
  // Finished blocks that found no room in `finished_` yet, oldest first; linked by
  // nextUnreported.
  SysExTransfer *unreported_ = nullptr;
  SysExTransfer *lastUnreported_ = nullptr;
};
