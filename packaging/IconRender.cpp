// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Build-time tool: draws Kelvane's application icon from the knob artwork, one PNG per size.
//
//   kelvane_icon_render OUTPUT_FOLDER SIZE...
//
// writes OUTPUT_FOLDER/<SIZE>x<SIZE>/apps/kelvane.png for each SIZE, the layout of an icon
// theme. The knob frames are opaque pictures on white; the icon keeps only the knob itself, so
// the corners outside the rim are transparent. Runs without a display (QT_QPA_PLATFORM=offscreen).

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPolygonF>
#include <QtMath>
#include <cstdio>

#include "KnobArt.h"

namespace {

// The frame the icon shows: the pointer at about two o'clock, a knob turned well up.
constexpr int kIconFrame = 20;

// The knob's outline in a square of `side` pixels: the rim's octagon (radius 14 of a 30-pixel
// frame, flat top and sides) grown by half its outline pen, so the dark edge stays whole.
QPolygonF RimOutline(double side) {
  const double scale = side / TKnobImageList::kFrameSize;
  const double radius = (14.0 + 0.375) * scale;
  const double centre = side / 2.0;
  QPolygonF octagon;
  for (int corner = 0; corner < 8; ++corner) {
    const double angle = qDegreesToRadians(22.5 + 45.0 * corner);
    octagon << QPointF(centre + radius * std::cos(angle), centre + radius * std::sin(angle));
  }
  return octagon;
}

QImage RenderIcon(const TKnobImageList &knobs, int side) {
  // Draw the frame at the ratio that makes it `side` device pixels; rounding may leave it a
  // pixel larger, so it is brought to the exact size.
  QImage frame = knobs.Frame(kIconFrame, side / double(TKnobImageList::kFrameSize)).toImage();
  frame.setDevicePixelRatio(1.0);
  if (frame.width() != side || frame.height() != side)
    frame = frame.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);

  QImage icon(side, side, QImage::Format_ARGB32_Premultiplied);
  icon.fill(Qt::transparent);
  QPainter painter(&icon);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QBrush(frame));  // the frame as a texture, cut out along the rim
  painter.drawPolygon(RimOutline(side));
  painter.end();
  return icon;
}

}  // namespace

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  const QStringList args = QApplication::arguments();
  if (args.size() < 3) {
    std::fprintf(stderr, "usage: kelvane_icon_render OUTPUT_FOLDER SIZE...\n");
    return 2;
  }
  const QDir output(args.at(1));
  TKnobImageList knobs;
  for (qsizetype i = 2; i < args.size(); ++i) {
    bool ok = false;
    const int side = args.at(i).toInt(&ok);
    if (!ok || side < 16 || side > 1024) {
      std::fprintf(stderr, "kelvane_icon_render: bad size \"%s\"\n", qPrintable(args.at(i)));
      return 2;
    }
    const QString folder = QStringLiteral("%1x%1/apps").arg(side);
    const QString file = output.filePath(folder + QStringLiteral("/kelvane.png"));
    if (!output.mkpath(folder) || !RenderIcon(knobs, side).save(file, "PNG")) {
      std::fprintf(stderr, "kelvane_icon_render: cannot write %s\n", qPrintable(file));
      return 1;
    }
  }
  return 0;
}
