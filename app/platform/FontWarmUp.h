// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <future>

// Fontconfig reads its configuration and its font caches the first time any text is measured,
// several milliseconds that would otherwise fall on the GUI thread while it builds the window.
// This starts that on a thread of its own, to run while the window system connects; keep the
// future until the window is built (its destructor waits, by then long done).
[[nodiscard]] std::future<void> WarmUpFonts();
