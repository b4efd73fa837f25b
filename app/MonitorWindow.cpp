// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "MonitorWindow.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include "Dialogs.h"
#include "Exception.h"
#include "MonitorLog.h"

namespace {

constexpr int kDrawIntervalMs = 33;  // at most 30 draws a second

}  // namespace

MonitorWindow::MonitorWindow(MonitorLog &log, Runner run, QWidget *parent)
    : QWidget(parent, Qt::Window), log_(log), run_(std::move(run)) {
  setObjectName("monitor");
  setWindowTitle("Kelvane monitor");
  resize(680, 320);

  view = new QPlainTextEdit(this);
  view->setObjectName("monitorview");
  view->setReadOnly(true);
  view->setLineWrapMode(QPlainTextEdit::NoWrap);
  view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  view->setMaximumBlockCount(static_cast<int>(log.Capacity()) + 1);  // + the heading
  view->setPlainText(MonitorLog::Heading());

  auto button = [this](const char *name, const QString &caption, const QKeySequence &keys) {
    auto *b = new QPushButton(caption, this);
    b->setObjectName(name);
    b->setShortcut(keys);
    b->setToolTip(caption + " (" + keys.toString(QKeySequence::NativeText) + ")");
    return b;
  };
  pausebtn = button("pausebtn", "Pause", QKeySequence(Qt::CTRL | Qt::Key_P));
  pausebtn->setCheckable(true);
  clearbtn = button("clearbtn", "Clear", QKeySequence(Qt::CTRL | Qt::Key_L));
  savebtn = button("savebtn", "Save..", QKeySequence(Qt::CTRL | Qt::Key_S));
  connect(pausebtn, &QPushButton::toggled, this, [this](bool on) { SetPaused(on); });
  connect(clearbtn, &QPushButton::clicked, this, [this] { run_([this] { ClearClick(); }); });
  connect(savebtn, &QPushButton::clicked, this, [this] { run_([this] { SaveClick(); }); });

  auto *buttons = new QHBoxLayout;
  buttons->addWidget(pausebtn);
  buttons->addWidget(clearbtn);
  buttons->addWidget(savebtn);
  buttons->addStretch();
  auto *layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addWidget(view);

  drawTimer_ = new QTimer(this);
  drawTimer_->setSingleShot(true);
  drawTimer_->setInterval(kDrawIntervalMs);
  connect(drawTimer_, &QTimer::timeout, this, [this] { Draw(); });
  drawnUpTo_ = log.FirstSequence();
}

void MonitorWindow::Changed() {
  if (!isVisible() || Paused() || drawTimer_->isActive()) return;
  drawTimer_->start();
}

bool MonitorWindow::Paused() const {
  return pausebtn->isChecked();
}

void MonitorWindow::SetPaused(bool paused) {
  pausebtn->setChecked(paused);
  if (!paused) Draw();
}

void MonitorWindow::Draw() {
  if (Paused()) return;
  // Entries that fell out of the history while the view waited are gone from it too.
  const uint64_t first = std::max(drawnUpTo_, log_.FirstSequence());
  if (first >= log_.NextSequence()) return;
  QString text;
  const size_t start = static_cast<size_t>(first - log_.FirstSequence());
  for (size_t i = start; i < log_.Size(); ++i) {
    if (i > start) text += '\n';
    text += MonitorLog::Line(log_.At(i));
  }
  drawnUpTo_ = log_.NextSequence();
  QScrollBar *bar = view->verticalScrollBar();
  const bool atEnd = bar->value() == bar->maximum();
  view->appendPlainText(text);
  // The newest line stays in sight unless the user scrolled back to read.
  if (atEnd) bar->setValue(bar->maximum());
}

void MonitorWindow::ClearClick() {
  log_.Clear();
  drawnUpTo_ = log_.NextSequence();
  view->setPlainText(MonitorLog::Heading());
}

void MonitorWindow::SaveClick() {
  const std::optional<QString> name = Dialogs::Current().SaveFileName(
      QStringLiteral("save the MIDI monitor as text"), QStringLiteral("*.txt (*.txt)"));
  if (!name) return;
  QSaveFile file(*name);
  const QByteArray text = log_.Text().toUtf8();
  if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
    throw Exception(QStringLiteral("Cannot create file %1").arg(*name));
}

void MonitorWindow::hideEvent(QHideEvent *event) {
  QWidget::hideEvent(event);
  if (OnHide) OnHide();
}

void MonitorWindow::showEvent(QShowEvent *event) {
  QWidget::showEvent(event);
  Draw();  // what came while the window was closed
}
