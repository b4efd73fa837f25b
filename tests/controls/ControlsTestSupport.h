// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCursor>
#include <QGuiApplication>
#include <QTest>
#include <QWidget>
#include <memory>
#include <ostream>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString &text, std::ostream *out) {
  *out << '"' << text.toStdString() << '"';
}

// Real mouse events for one control shown in its own top-level window. Presses come before
// moves, so every move carries the buttons held, as on a desktop.
class MouseDriver {
 public:
  explicit MouseDriver(QWidget *control) : control_(control) {}

  void Press(QPoint at, Qt::KeyboardModifiers mods = {}, Qt::MouseButton b = Qt::LeftButton) {
    QTest::mousePress(control_, b, mods, at);
  }
  void Release(QPoint at, Qt::KeyboardModifiers mods = {}, Qt::MouseButton b = Qt::LeftButton) {
    QTest::mouseRelease(control_, b, mods, at);
  }
  // A move with whatever buttons are pressed; never at (0, 0), which QTest reads as "centre".
  void Move(QPoint at, Qt::KeyboardModifiers mods = {}) {
    QTest::mouseEvent(QTest::MouseMove, control_, Qt::NoButton, mods, at);
  }
  // Press, release, double-click, release: the order a desktop delivers a double-click in.
  void DoubleClick(QPoint at, Qt::KeyboardModifiers mods = {}) {
    Press(at, mods);
    Release(at, mods);
    QTest::mouseDClick(control_, Qt::LeftButton, mods, at);
    Release(at, mods);
  }

 private:
  QWidget *control_;
};

inline bool PointerHidden() {
  const QCursor *cursor = QGuiApplication::overrideCursor();
  return cursor && cursor->shape() == Qt::BlankCursor;
}

// A top-level window holding one control, shown and exposed.
template <class Control>
struct ShownControl {
  ShownControl() : window(std::make_unique<QWidget>()), control(new Control(window.get())) {
    window->resize(200, 100);
    control->move(50, 30);
    window->show();
    (void)QTest::qWaitForWindowExposed(window.get());
  }
  std::unique_ptr<QWidget> window;
  Control *control;
};
