// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// A device as the musician chose it and the settings keep it: the name the service showed then
// ("client:port" on JACK and the ALSA sequencer, the device name elsewhere) and its place in the
// list. Stores written before names were kept have the number alone.
struct ChosenDevice {
  QString name;     // empty: not known
  int number = -1;  // -1: the virtual port (with its name), or nothing chosen (without)

  bool IsNothing() const { return name.isEmpty() && number == -1; }
  bool operator==(const ChosenDevice &) const = default;
};

// Finds a chosen device among the devices there are now (`names`, in the service's order;
// `virtualName` is the name of our own virtual port, empty where the service has none).
// The name wins: a device of that name anywhere in the list, the stored number picking among
// several of the same name. A name that is not there means the device is gone, even when its
// number now belongs to another device: a note must never reach another synth. Without a name,
// the number is taken as it is. Answers the device number (-1: the virtual port), or nothing
// when the device is not there now.
std::optional<int> FindChosenDevice(const QStringList &names, const QString &virtualName,
                                    const ChosenDevice &chosen);
