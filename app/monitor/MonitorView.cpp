// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "MonitorView.h"

#include <QFontDatabase>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "MonitorLog.h"

namespace {

constexpr int kMargin = 4;
constexpr int kWidestLine = 120;  // characters: room for a long device name

}  // namespace

MonitorView::MonitorView(const MonitorLog &log, QWidget *parent)
    : QAbstractScrollArea(parent), log_(log), end_(log.FirstSequence()) {
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  setBackgroundRole(QPalette::Base);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  UpdateScrollRange();
}

int MonitorView::LineHeight() const {
  return fontMetrics().lineSpacing();
}

int MonitorView::VisibleLines() const {
  return std::max(1, (viewport()->height() - 2 * kMargin) / LineHeight());
}

int MonitorView::LineCount() const {
  const uint64_t first = log_.FirstSequence();
  return end_ > first ? static_cast<int>(std::min<uint64_t>(end_ - first, log_.Size())) : 0;
}

void MonitorView::UpdateScrollRange() {
  QScrollBar *bar = verticalScrollBar();
  const bool atEnd = bar->value() >= bar->maximum();
  // The heading is line 0.
  bar->setRange(0, std::max(0, LineCount() + 1 - VisibleLines()));
  bar->setPageStep(VisibleLines());
  if (atEnd) bar->setValue(bar->maximum());
  horizontalScrollBar()->setRange(
      0, std::max(0, fontMetrics().horizontalAdvance('0') * kWidestLine - viewport()->width()));
  horizontalScrollBar()->setPageStep(viewport()->width());
}

void MonitorView::ShowUpTo(uint64_t end) {
  end_ = end;
  UpdateScrollRange();
  viewport()->update();
}

QString MonitorView::ShownText() const {
  QString text = MonitorLog::Heading();
  for (int i = 0; i < LineCount(); ++i) text += '\n' + MonitorLog::Line(log_.At(i));
  return text;
}

void MonitorView::paintEvent(QPaintEvent *) {
  QPainter painter(viewport());
  painter.setFont(font());
  const int height = LineHeight(), ascent = fontMetrics().ascent();
  const int x = kMargin - horizontalScrollBar()->value();
  const int first = verticalScrollBar()->value();
  const int last = std::min(first + VisibleLines() + 1, LineCount() + 1);
  for (int row = first; row < last; ++row) {
    const QString line = row == 0 ? MonitorLog::Heading() : MonitorLog::Line(log_.At(row - 1));
    painter.drawText(x, kMargin + (row - first) * height + ascent, line);
  }
}

void MonitorView::resizeEvent(QResizeEvent *event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollRange();
}
