// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "RandomDraw.h"

namespace {
uint32_t seed = 0;
}

uint32_t RandomDraw(uint32_t n) {
  seed = seed * 134775813u + 1u;  // wraps modulo 2^32
  return static_cast<uint32_t>((static_cast<uint64_t>(seed) * n) >> 32);
}

uint32_t RandomSeed() {
  return seed;
}
