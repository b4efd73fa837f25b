// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>

// Where a JACK server of this name would listen: libjack finds a server running there, and a
// server that takes each client's connection and closes it at once refuses every client.
class RefusingJackServer {
 public:
  explicit RefusingJackServer(const std::string &name)
      : path_("/dev/shm/jack_" + name + "_" + std::to_string(getuid()) + "_0") {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
    unlink(path_.c_str());
    fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
    if (bind(fd_, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        listen(fd_, 8) != 0)
      return;
    thread_ = std::thread([this] {
      for (int client; (client = accept(fd_, nullptr, nullptr)) >= 0;) close(client);
    });
  }
  ~RefusingJackServer() {
    shutdown(fd_, SHUT_RDWR);  // ends the accept
    if (thread_.joinable()) thread_.join();
    close(fd_);
    unlink(path_.c_str());
  }
  RefusingJackServer(const RefusingJackServer &) = delete;
  RefusingJackServer &operator=(const RefusingJackServer &) = delete;

  bool Listens() const { return thread_.joinable(); }

 private:
  std::string path_;
  int fd_ = -1;
  std::thread thread_;
};
