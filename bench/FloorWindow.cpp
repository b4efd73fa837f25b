// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The floor for Kelvane's start-up figures: the least a Qt 6 Widgets program does to show one
// window of Kelvane's size. It prints "painted <micros>" (CLOCK_MONOTONIC_RAW) on its first
// paint, so the driver can tell how long mapping to painting takes, and runs until it is
// terminated. With --jack it first opens and activates one JACK client (no ports), the least a
// program on the JACK service pays, so that Kelvane's own share can be told apart from JACK's.
// It also counts the mouse moves it receives with a button held and prints "moves <n>" when it
// is terminated: the drag benchmark's floor for what Qt delivers. --no-compress turns off Qt's
// compression of mouse moves (Qt::AA_CompressHighFrequencyEvents, on by default on X11).
#include <jack/jack.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QPainter>
#include <QWidget>
#include <atomic>
#include <cstdio>
#include <string_view>

#include "BenchSupport.h"

namespace {

std::atomic<long> moves{0};

// Any thread, on SIGTERM: only async-signal-safe calls.
void PrintMovesAndExit(int) {
  char text[32];
  const int n = std::snprintf(text, sizeof text, "moves %ld\n", moves.load());
  if (n > 0) (void)!write(1, text, static_cast<size_t>(n));
  _exit(0);
}

class FloorWindow : public QWidget {
 protected:
  // GUI thread.
  void mouseMoveEvent(QMouseEvent *) override { moves.fetch_add(1, std::memory_order_relaxed); }
  // GUI thread.
  void paintEvent(QPaintEvent *) override {
    QPainter(this).fillRect(rect(), Qt::white);
    if (painted_) return;
    painted_ = true;
    std::printf("painted %llu\n", static_cast<unsigned long long>(bench::NowMicros()));
    std::fflush(stdout);
  }

 private:
  bool painted_ = false;
};

}  // namespace

int main(int argc, char **argv) {
  for (int i = 1; i < argc; ++i)
    if (std::string_view(argv[i]) == "--no-compress")
      QCoreApplication::setAttribute(Qt::AA_CompressHighFrequencyEvents, false);
  signal(SIGTERM, &PrintMovesAndExit);
  QApplication app(argc, argv);
  jack_client_t *client = nullptr;
  if (app.arguments().contains("--jack")) {
    client = jack_client_open("floor", JackNoStartServer, nullptr);
    if (client) jack_activate(client);
  }
  FloorWindow window;
  window.setWindowTitle("Floor");
  window.resize(529, 195);
  window.show();
  const int result = app.exec();
  if (client) jack_client_close(client);
  return result;
}
