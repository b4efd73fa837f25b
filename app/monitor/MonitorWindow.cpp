// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "MonitorWindow.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QSaveFile>
#include <QTimer>
#include <QVBoxLayout>

#include "Dialogs.h"
#include "Exception.h"
#include "MonitorLog.h"
#include "MonitorView.h"

namespace {

constexpr int kDrawIntervalMs =
    100;  // 10 draws a second: each costs the GUI thread about a millisecond

}  // namespace

MonitorWindow::MonitorWindow(MonitorLog &log, Runner run, QWidget *parent)
    : QWidget(parent, Qt::Window), log_(log), run_(std::move(run)) {
  setObjectName("monitor");
  setWindowTitle("Kelvane monitor");
  resize(680, 320);

  view = new MonitorView(log, this);
  view->setObjectName("monitorview");

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
  if (!Paused()) view->ShowUpTo(log_.NextSequence());
}

void MonitorWindow::ClearClick() {
  log_.Clear();
  view->ShowUpTo(log_.NextSequence());
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
