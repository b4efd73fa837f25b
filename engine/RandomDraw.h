// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// The process-wide pseudo-random generator behind random velocities: a 32-bit linear
// congruential generator whose seed is 0 when the program starts and is never reseeded, so every
// run draws the same sequence. GUI thread only: the seed is unguarded shared state.

// A whole number in 0 .. n-1 (0 when n is 0). Every draw advances the seed, n 0 included.
uint32_t RandomDraw(uint32_t n);

// The seed as it stands, so that a caller can foresee the next draws.
uint32_t RandomSeed();
