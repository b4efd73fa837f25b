// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// One received event, as consumers of the input port get it, or one event to send.
class TMyMidiEvent {
 public:
  uint8_t StatusByte = 0;  // 0xF0 for SysEx
  uint8_t DataByte1 = 0;
  uint8_t DataByte2 = 0;
  uint32_t TimeStamp = 0;                 // milliseconds since input started
  uint32_t SysExByteCount = 0;            // 0 for a short message
  std::unique_ptr<uint8_t[]> SysExBytes;  // owned copy of the SysEx bytes, or null
};

// Flags of a buffer header.
enum TMidiHdrFlag : uint32_t {
  mhdrDone = 0x1,      // the driver has finished with the buffer
  mhdrPrepared = 0x2,  // handed to the driver side
  mhdrInQueue = 0x4,   // waiting in the driver's queue
};

// The backend-neutral buffer header of a SysEx block.
struct TMidiBufferHeader {
  uint8_t *Data = nullptr;     // the data block
  uint32_t BufferLength = 0;   // bytes the data block holds
  uint32_t BytesRecorded = 0;  // bytes filled by the driver (input) or to send (output)
  void *User = nullptr;        // the TMyMidiHdr that owns this header
  uint32_t Flags = 0;          // TMidiHdrFlag
};

// One SysEx block: a header plus a zero-filled data block at a fixed address. Not copyable, so the
// address that the driver side holds stays valid for the block's whole life.
class TMyMidiHdr {
 public:
  explicit TMyMidiHdr(uint32_t size);
  ~TMyMidiHdr();
  TMyMidiHdr(const TMyMidiHdr &) = delete;
  TMyMidiHdr &operator=(const TMyMidiHdr &) = delete;

  TMidiBufferHeader *Header() { return header_; }
  const TMidiBufferHeader *Header() const { return header_; }
  uint8_t *Data() { return data_; }
  uint32_t Size() const { return header_ ? header_->BufferLength : 0; }
  // False when size > 0 but the blocks could not be allocated.
  bool Valid() const { return size_ == 0 || (header_ && data_); }

 private:
  uint32_t size_;
  TMidiBufferHeader *header_ = nullptr;
  uint8_t *data_ = nullptr;
};
