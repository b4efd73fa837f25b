// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "DeviceChoice.h"

std::optional<int> FindChosenDevice(const QStringList &names, const QString &virtualName,
                                    const ChosenDevice &chosen) {
  if (chosen.name.isEmpty()) {
    if (chosen.number >= 0 && chosen.number < names.size()) return chosen.number;
    return std::nullopt;
  }
  if (chosen.number >= 0 && chosen.number < names.size() && names[chosen.number] == chosen.name)
    return chosen.number;
  if (const auto first = names.indexOf(chosen.name); first >= 0) return static_cast<int>(first);
  if (!virtualName.isEmpty() && chosen.name == virtualName) return -1;
  return std::nullopt;
}
