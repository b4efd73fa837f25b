// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "KnobArt.h"

#include <QLinearGradient>
#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>
#include <algorithm>
#include <array>
#include <cmath>

double KnobPointerAngle(int frame, int frameCount) {
  // The sweep passes 9 o'clock at frame 4 and 12 o'clock at frame 15 of the 30-frame strip, so
  // the centre value of a 0..127 knob (64, frame 15) points straight up. Between these marks the
  // pointer turns evenly.
  struct Mark {
    double at;  // fraction of the strip
    double degrees;
  };
  static constexpr std::array<Mark, 4> marks{
      {{0.0, 225.0}, {4.0 / 29.0, 270.0}, {15.0 / 29.0, 360.0}, {1.0, 495.0}}};
  if (frameCount <= 1) return marks.front().degrees;
  const double t = std::clamp(static_cast<double>(frame) / (frameCount - 1), 0.0, 1.0);
  for (size_t i = 1; i < marks.size(); ++i) {
    if (t <= marks[i].at) {
      const Mark &a = marks[i - 1];
      const Mark &b = marks[i];
      return a.degrees + (b.degrees - a.degrees) * (t - a.at) / (b.at - a.at);
    }
  }
  return marks.back().degrees;
}

TKnobImageList::TKnobImageList(QObject *owner, int frameCount)
    : QObject(owner), frameCount_(frameCount < 0 ? 0 : frameCount) {}

QPixmap TKnobImageList::Frame(int index, qreal devicePixelRatio) const {
  if (index < 0 || index >= frameCount_) return {};
  if (!(devicePixelRatio > 0)) devicePixelRatio = 1.0;
  auto &frames = cache_[qRound(devicePixelRatio * 1000)];
  if (frames.empty()) frames.resize(frameCount_);
  QPixmap &frame = frames[index];
  if (frame.isNull()) frame = Render(index, devicePixelRatio);
  return frame;
}

void TKnobImageList::Draw(QPainter &painter, QPoint at, int index) const {
  const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
  const QPixmap frame = Frame(index, ratio);
  if (!frame.isNull()) painter.drawPixmap(at, frame);
}

namespace {

constexpr double kCentre = TKnobImageList::kFrameSize / 2.0;

// A regular octagon with flat top, bottom and sides.
QPolygonF Octagon(double radius) {
  QPolygonF octagon;
  for (int corner = 0; corner < 8; ++corner) {
    const double angle = qDegreesToRadians(22.5 + 45.0 * corner);
    octagon << QPointF(kCentre + radius * std::cos(angle), kCentre + radius * std::sin(angle));
  }
  return octagon;
}

void DrawRim(QPainter &painter) {
  // Lit from the top left: light grey there, dark grey at the bottom right.
  QLinearGradient bevel(QPointF(2, 2), QPointF(28, 28));
  bevel.setColorAt(0.0, QColor(0xE0, 0xE0, 0xE0));
  bevel.setColorAt(0.5, QColor(0x90, 0x90, 0x90));
  bevel.setColorAt(1.0, QColor(0x40, 0x40, 0x40));
  painter.setPen(QPen(QColor(0x30, 0x30, 0x30), 0.75));
  painter.setBrush(bevel);
  painter.drawPolygon(Octagon(14.0));
}

void DrawFace(QPainter &painter) {
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::black);
  painter.drawPolygon(Octagon(11.0));
}

void DrawPointer(QPainter &painter, double clockDegrees) {
  // Clock degrees run clockwise from 12; on screen y grows downwards.
  const double radians = qDegreesToRadians(clockDegrees);
  const QPointF tip(kCentre + 9.5 * std::sin(radians), kCentre - 9.5 * std::cos(radians));
  painter.setPen(QPen(Qt::white, 2.0, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(kCentre, kCentre), tip);
}

}  // namespace

QPixmap TKnobImageList::Render(int index, qreal devicePixelRatio) const {
  const int side = qCeil(kFrameSize * devicePixelRatio);
  QPixmap frame(side, side);
  frame.setDevicePixelRatio(devicePixelRatio);
  frame.fill(BkColor());
  QPainter painter(&frame);  // works in logical pixels: the pixmap carries the ratio
  painter.setRenderHint(QPainter::Antialiasing);
  DrawRim(painter);
  DrawFace(painter);
  DrawPointer(painter, KnobPointerAngle(index, frameCount_));
  return frame;
}
