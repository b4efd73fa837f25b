// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The knob pictures, drawn by code at the screen's pixel density.
#include <gtest/gtest.h>

#include <QImage>
#include <QtMath>
#include <cmath>

#include "KnobArt.h"

namespace {

// Brightness of the frame at `radius` logical pixels from the centre in the clock direction
// `degrees`.
int BrightnessAt(const QImage &image, qreal ratio, double degrees, double radius) {
  const double r = qDegreesToRadians(degrees);
  const double x = (15 + radius * std::sin(r)) * ratio;
  const double y = (15 - radius * std::cos(r)) * ratio;
  return qGray(image.pixel(static_cast<int>(x), static_cast<int>(y)));
}

TEST(KnobArt, FramesAreSharpAtEveryPixelRatio) {
  TKnobImageList strip;
  ASSERT_EQ(strip.Count(), 30);
  for (qreal ratio : {1.0, 1.5, 2.0, 3.0}) {
    const QPixmap frame = strip.Frame(0, ratio);
    EXPECT_EQ(frame.size(), QSize(qCeil(30 * ratio), qCeil(30 * ratio))) << ratio;
    EXPECT_DOUBLE_EQ(frame.devicePixelRatio(), ratio);
    EXPECT_EQ(frame.deviceIndependentSize(), QSizeF(30, 30));
  }
  EXPECT_EQ(strip.Frame(3, 2.0).cacheKey(), strip.Frame(3, 2.0).cacheKey());  // drawn once
  EXPECT_TRUE(strip.Frame(30, 1.0).isNull());
  EXPECT_TRUE(strip.Frame(-1, 1.0).isNull());
}

TEST(KnobArt, PointerShowsTheFramesDirection) {
  TKnobImageList strip;
  for (qreal ratio : {1.0, 2.0}) {
    for (int index : {0, 4, 15, 29}) {
      const QImage image = strip.Frame(index, ratio).toImage();
      const double angle = KnobPointerAngle(index, 30);
      EXPECT_GT(BrightnessAt(image, ratio, angle, 6), 200) << index << " at " << ratio;
      EXPECT_LT(BrightnessAt(image, ratio, angle + 180, 6), 40) << index << " at " << ratio;
      EXPECT_LT(BrightnessAt(image, ratio, angle + 90, 7), 40) << index << " at " << ratio;
      EXPECT_EQ(image.pixel(0, 0), qRgb(255, 255, 255));    // white background
      const int rim = BrightnessAt(image, ratio, 0, 12.5);  // grey between face and background
      EXPECT_GT(rim, 40);
      EXPECT_LT(rim, 240);
    }
  }
}

}  // namespace
