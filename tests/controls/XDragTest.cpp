// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// A real drag of a knob on a real X server (Xvfb), with real pointer events from xdotool: the
// knob turns, shows the frame for its new position, and the pointer comes back to where the
// drag began.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <QWidget>

#include "KnobArt.h"
#include "knob.h"

namespace {

// Runs xdotool with `arguments`; its standard output.
QByteArray XDoTool(const QStringList &arguments) {
  QProcess tool;
  tool.start("xdotool", arguments);
  tool.waitForFinished(10000);
  return tool.readAllStandardOutput();
}

QPoint PointerOnScreen() {
  // "x:12 y:34 screen:0 window:..."
  const QList<QByteArray> fields = XDoTool({"getmouselocation"}).split(' ');
  return QPoint(fields.value(0).mid(2).toInt(), fields.value(1).mid(2).toInt());
}

// Waits until `done` holds, handling events meanwhile; false after `ms` milliseconds.
template <class Condition>
bool WaitFor(Condition done, int ms = 5000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > ms) return false;
    QTest::qWait(10);
  }
  return true;
}

}  // namespace

TEST(KnobOnX, ARealDragTurnsTheKnobAndPutsThePointerBack) {
  QWidget window;
  TKnobImageList frames;
  auto *knob = new tknob(&window);
  knob->SetiImageList(&frames);
  knob->SetAxis(axHorizontal);
  knob->SetPosition(1);
  knob->SetPosition(0);
  knob->move(40, 40);
  window.resize(120, 120);
  window.move(100, 100);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

  const QPoint start = knob->mapToGlobal(QPoint(15, 15));
  XDoTool({"mousemove", "--sync", QString::number(start.x()), QString::number(start.y())});
  ASSERT_TRUE(WaitFor([&] { return QCursor::pos() == start; }));
  XDoTool({"mousedown", "1"});
  ASSERT_TRUE(WaitFor([&] { return QApplication::mouseButtons() & Qt::LeftButton; }));
  // One step per motion event, however far it goes: 64 moves to the right.
  for (int i = 1; i <= 64; ++i) {
    XDoTool({"mousemove", QString::number(start.x() + 2 * i), QString::number(start.y())});
    ASSERT_TRUE(WaitFor([&] { return knob->Position() >= i; })) << "move " << i;
  }
  XDoTool({"mouseup", "1"});
  ASSERT_TRUE(WaitFor([&] { return !(QApplication::mouseButtons() & Qt::LeftButton); }));

  EXPECT_EQ(knob->Position(), 64);
  EXPECT_EQ(knob->FrameIndex(), 15);
  EXPECT_TRUE(WaitFor([&] { return PointerOnScreen() == start; }))
      << "pointer at " << PointerOnScreen().x() << "," << PointerOnScreen().y();
}

int main(int argc, char **argv) {
  // A private X server: Xvfb picks a free display and tells its number on a pipe.
  QProcess xvfb;
  xvfb.setProcessChannelMode(QProcess::SeparateChannels);
  xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "640x480x24", "-nolisten", "tcp"});
  if (!xvfb.waitForStarted(10000) || !xvfb.waitForReadyRead(10000)) {
    std::fprintf(stderr, "Xvfb did not start\n");
    return 1;
  }
  const QByteArray display = ":" + xvfb.readLine().trimmed();
  qputenv("DISPLAY", display);
  qputenv("QT_QPA_PLATFORM", "xcb");
  int result;
  {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    result = RUN_ALL_TESTS();
  }
  xvfb.terminate();
  xvfb.waitForFinished(5000);
  return result;
}
