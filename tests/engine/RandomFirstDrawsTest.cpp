// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Its own program, so that nothing draws before it: the generator starts at seed 0 in every run.
#include <gtest/gtest.h>

#include "MIDIappUtil.h"
#include "RandomDraw.h"

namespace {

TEST(RandomDraw, EveryRunStartsWithTheSameDraws) {
  // seed := seed * 134775813 + 1, draw(n) := (seed * n) >> 32:
  //   seed 1          -> 20 * 1          >> 32 = 0
  //   seed 134775814  -> 20 * 134775814  >> 32 = 0   (2695516280 < 2^32)
  //   seed 3698175007 -> 20 * 3698175007 >> 32 = 17
  //   seed 870078620  -> 20 * 870078620  >> 32 = 4
  ASSERT_EQ(RandomSeed(), 0u);
  EXPECT_EQ(RandomDraw(20), 0u);
  EXPECT_EQ(RandomDraw(20), 0u);
  EXPECT_EQ(RandomDraw(20), 17u);
  EXPECT_EQ(RandomDraw(20), 4u);
  EXPECT_EQ(RandomSeed(), 870078620u);

  // The next four draws of 20 are 5, 13, 6, 3: direction 5 (odd) with offset 13, then
  // direction 6 (even) with offset 3.
  TMIDIappUtil engine;
  engine.SetVelocity(97);
  engine.SetVelRnd(20);
  EXPECT_EQ(engine.RandomVelocity(), 97 - 13);
  EXPECT_EQ(engine.RandomVelocity(), 97 + 3);

  // A draw of 0 still moves the seed on.
  const uint32_t before = RandomSeed();
  EXPECT_EQ(RandomDraw(0), 0u);
  EXPECT_EQ(RandomSeed(), before * 134775813u + 1u);
}

}  // namespace
