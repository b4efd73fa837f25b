// The floor for Kelvane's start-up figures: the least a Qt 6 Widgets program does to show one
// window of Kelvane's size. It prints "painted <micros>" (CLOCK_MONOTONIC_RAW) on its first
// paint, so the driver can tell how long mapping to painting takes, and runs until it is
// terminated. With --jack it first opens and activates one JACK client (no ports), the least a
// program on the JACK service pays, so that Kelvane's own share can be told apart from JACK's.
#include <jack/jack.h>

#include <QApplication>
#include <QPainter>
#include <QWidget>
#include <cstdio>

#include "BenchSupport.h"

namespace {

class FloorWindow : public QWidget {
 protected:
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
