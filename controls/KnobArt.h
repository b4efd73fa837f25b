// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QObject>
#include <QPixmap>
#include <map>
#include <vector>

class QPainter;

// The direction of the knob's pointer in frame `frame` of a strip of `frameCount` frames, in
// degrees clockwise from 12 o'clock: 225 (7:30) in the first frame, 270 (9 o'clock) in frame 4
// of 30, 360 (12 o'clock) in frame 15 of 30 and 495 (4:30) in the last frame.
double KnobPointerAngle(int frame, int frameCount);

// The strip of knob pictures every knob of the window draws from ("knoblist"): a black octagonal
// knob with a grey bevelled rim and a white pointer, on white. The frames are drawn by code for
// the device pixel ratio of the screen they are shown on, so they stay crisp on any display;
// each ratio's frames are drawn once, when first asked for, and kept.
// Lives on the GUI thread (it makes QPixmaps).
class TKnobImageList : public QObject {
  Q_OBJECT

 public:
  static constexpr int kFrameCount = 30;
  static constexpr int kFrameSize = 30;

  explicit TKnobImageList(QObject *owner = nullptr, int frameCount = kFrameCount);

  int Count() const { return frameCount_; }
  // Frame size in logical (96 dpi) pixels.
  int Width() const { return kFrameSize; }
  int Height() const { return kFrameSize; }
  QColor BkColor() const { return Qt::white; }
  // The frames are opaque pictures; a knob turns masking off when it links the list.
  bool Masked() const { return masked_; }
  void SetMasked(bool masked) { masked_ = masked; }

  // Frame `index` for a device of `devicePixelRatio`: Width() x Height() logical pixels, that
  // many times the ratio in device pixels. A null pixmap when `index` is outside the strip.
  QPixmap Frame(int index, qreal devicePixelRatio) const;
  // Draws frame `index` with its top-left corner at `at`, for the painter's device.
  void Draw(QPainter &painter, QPoint at, int index) const;

 private:
  QPixmap Render(int index, qreal devicePixelRatio) const;

  int frameCount_;
  bool masked_ = false;
  // Keyed by the ratio in thousandths, so 1.25 and 1.2500001 share their frames.
  mutable std::map<int, std::vector<QPixmap>> cache_;
};
