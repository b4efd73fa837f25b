// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "DeviceChoice.h"

namespace {

const QStringList kTwoSynths{"Through:0", "Synth A:in", "Synth B:in"};

TEST(ChosenDevice, TheNameWinsWhereverItIsNow) {
  // Synth A was device 1; the first device has been unplugged since.
  EXPECT_EQ(FindChosenDevice({"Synth A:in", "Synth B:in"}, "", {"Synth A:in", 1}), 0);
  // A device plugged in before it moves it down.
  EXPECT_EQ(FindChosenDevice({"New:in", "Through:0", "Synth A:in"}, "", {"Synth A:in", 1}), 2);
}

TEST(ChosenDevice, AMissingOrRenamedDeviceIsAwayEvenWhenItsNumberNamesAnother) {
  EXPECT_EQ(FindChosenDevice(kTwoSynths, "", {"Synth C:in", 1}), std::nullopt);
  EXPECT_EQ(FindChosenDevice({"Through:0", "Synth A:renamed"}, "", {"Synth A:in", 1}),
            std::nullopt);
  EXPECT_EQ(FindChosenDevice({}, "", {"Synth A:in", 0}), std::nullopt);
}

TEST(ChosenDevice, TheNumberPicksAmongDevicesOfOneName) {
  const QStringList twins{"USB MIDI:0", "USB MIDI:0", "Other"};
  EXPECT_EQ(FindChosenDevice(twins, "", {"USB MIDI:0", 1}), 1);
  EXPECT_EQ(FindChosenDevice(twins, "", {"USB MIDI:0", 0}), 0);
  // The number names another device now: the first of that name.
  EXPECT_EQ(FindChosenDevice(twins, "", {"USB MIDI:0", 2}), 0);
}

TEST(ChosenDevice, StoresWithoutNamesGoByNumber) {
  EXPECT_EQ(FindChosenDevice(kTwoSynths, "", {"", 2}), 2);
  EXPECT_EQ(FindChosenDevice(kTwoSynths, "", {"", 3}), std::nullopt);
  EXPECT_EQ(FindChosenDevice(kTwoSynths, "Kelvane", {"", -1}), std::nullopt)
      << "nothing chosen is not the virtual port";
}

TEST(ChosenDevice, TheVirtualPortIsFoundByItsNameWhileTheServiceHasIt) {
  EXPECT_EQ(FindChosenDevice(kTwoSynths, "Kelvane", {"Kelvane", -1}), -1);
  EXPECT_EQ(FindChosenDevice(kTwoSynths, "", {"Kelvane", -1}), std::nullopt);
  // A device of that name is a device, not our port.
  EXPECT_EQ(FindChosenDevice({"Kelvane"}, "Kelvane", {"Kelvane", -1}), 0);
}

}  // namespace
