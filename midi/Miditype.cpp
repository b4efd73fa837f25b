// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "Miditype.h"

#include "Circbuf.h"

TMyMidiHdr::TMyMidiHdr(uint32_t size) : size_(size) {
  if (size == 0) return;
  header_ = static_cast<TMidiBufferHeader *>(AllocFixedShared(sizeof(TMidiBufferHeader)));
  data_ = static_cast<uint8_t *>(AllocFixedShared(size));
  if (!header_ || !data_) {
    FreeFixedShared(header_);
    FreeFixedShared(data_);
    header_ = nullptr;
    data_ = nullptr;
    return;
  }
  header_->Data = data_;
  header_->BufferLength = size;
  header_->User = this;
}

TMyMidiHdr::~TMyMidiHdr() {
  FreeFixedShared(header_);
  FreeFixedShared(data_);
}
