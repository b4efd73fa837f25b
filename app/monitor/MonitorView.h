// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractScrollArea>
#include <cstdint>

class MonitorLog;

// The monitor's list: it draws only the lines in sight, straight from the log, so that a history
// of thousands of messages costs a draw no more than a screenful does. Shows the log's entries
// from its oldest up to the end given to ShowUpTo. GUI thread only.
class MonitorView : public QAbstractScrollArea {
 public:
  MonitorView(const MonitorLog &log, QWidget *parent = nullptr);

  // Shows the entries before sequence `end`; the newest stays in sight unless the user has
  // scrolled back to read.
  void ShowUpTo(uint64_t end);
  // Lines shown (the heading not counted).
  int LineCount() const;
  // The heading and every line shown, one a line.
  QString ShownText() const;

 protected:
  void paintEvent(QPaintEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;

 private:
  int LineHeight() const;
  int VisibleLines() const;
  void UpdateScrollRange();

  const MonitorLog &log_;
  uint64_t end_ = 0;
};
