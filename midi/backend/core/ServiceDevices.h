// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "MidiBackend.h"
#include "ServiceClient.h"

// A device's name as the musician sees it, for services whose devices are their names (JACK's
// port names); a service with richer devices adds its own overload, found where it declares them.
inline const std::string &DeviceNameOf(const std::string &device) {
  return device;
}

// What both directions of a service with one client of ours share: the device list of the other
// clients' ports, and the device that was described last, which opens by its name (port numbers
// change when a device is plugged in again, and ports that come and go in between never redirect
// it). `Client` lists its devices with Devices(direction); each service derives its own class,
// which says what its devices open as. GUI thread only.
template <class Client>
class ServiceDevices {
 public:
  using Direction = typename Client::Direction;
  using Device = typename decltype(std::declval<const Client &>().Devices(
      std::declval<Direction>()))::value_type;

  uint16_t Count() {
    const auto client = service_->Current();
    return client ? static_cast<uint16_t>(client->Devices(direction_).size()) : 0;
  }

  // Names device `id` and remembers it as the device described last.
  uint16_t Name(int id, QString &name) {
    const auto client = service_->Current();
    if (!client) return noService_;
    const std::vector<Device> devices = client->Devices(direction_);
    if (id < 0 || id >= static_cast<int>(devices.size())) return mrBadDeviceId;
    describedId_ = id;
    describedName_ = DeviceNameOf(devices[static_cast<size_t>(id)]);
    name = QString::fromStdString(describedName_);
    return mrOk;
  }

  QStringList Names() {
    QStringList names;
    if (const auto client = service_->Current())
      for (const Device &device : client->Devices(direction_))
        names << QString::fromStdString(DeviceNameOf(device));
    return names;
  }

  ServiceClient<Client> &Service() { return *service_; }

 protected:
  // `noService` is what Name says while the service does not answer.
  ServiceDevices(std::shared_ptr<ServiceClient<Client>> service, Direction direction,
                 uint16_t noService)
      : service_(std::move(service)), direction_(direction), noService_(noService) {}

  // The device to open for `id`: the one described last by its name, any other by its place in
  // the list; none when it is not there (now).
  std::optional<Device> DeviceToOpen(const Client &client, int id) const {
    const std::vector<Device> devices = client.Devices(direction_);
    if (id == describedId_) {
      const auto named = std::find_if(devices.begin(), devices.end(), [this](const auto &device) {
        return DeviceNameOf(device) == describedName_;
      });
      if (named == devices.end()) return std::nullopt;
      return *named;
    }
    if (id < 0 || id >= static_cast<int>(devices.size())) return std::nullopt;
    return devices[static_cast<size_t>(id)];
  }

 private:
  std::shared_ptr<ServiceClient<Client>> service_;
  Direction direction_;
  uint16_t noService_;
  int describedId_ = -2;
  std::string describedName_;
};
