// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "FontWarmUp.h"

#include <fontconfig/fontconfig.h>

// Fontconfig is thread-safe, and FcInit on a configuration already loaded returns at once, so
// Qt's own FcInit on the GUI thread later finds the work done or waits for no lock of ours.
std::future<void> WarmUpFonts() {
  return std::async(std::launch::async, [] { FcInit(); });
}
