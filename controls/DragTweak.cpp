// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "DragTweak.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

#include "ControlKeys.h"
#include "ControlsAccessible.h"
#include "IntegerText.h"
#include "knob.h"

namespace {

bool IsOrdinaryButton(Qt::MouseButton button) {
  return button == Qt::LeftButton || button == Qt::RightButton || button == Qt::MiddleButton;
}

}  // namespace

TDragTweak::TDragTweak(QWidget *parent) : QFrame(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  QPalette colours = palette();
  colours.setColor(QPalette::Window, Qt::black);
  colours.setColor(QPalette::WindowText, QColor(0, 255, 0));
  setPalette(colours);
  setAutoFillBackground(true);
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::ClickFocus);  // not a tab stop, but a click gives it the arrow keys
  setMouseTracking(true);
  InstallControlsAccessibility();
}

TDragTweak::~TDragTweak() = default;

void TDragTweak::Changed(bool captionChanged) {
  if (!captionChanged) return;
  NotifyValueChanged(this, Position());
  update();
}

void TDragTweak::SetCaption(const QString &caption) {
  Changed(model_.SetCaption(caption));
}

void TDragTweak::SetItems(const QStringList &items) {
  Changed(model_.SetItems(items));
}

void TDragTweak::FillRange(int first, int last, const QString &prefix, const QString &suffix) {
  Changed(model_.FillRange(first, last, prefix, suffix));
}

void TDragTweak::SetPosition(int v) {
  Changed(model_.SetPosition(v));
}

void TDragTweak::ResetToDefault() {
  Changed(model_.ResetToDefault());
}

QString TDragTweak::CtrlNoHEX() const {
  return HexText(ctrlNo_);
}

void TDragTweak::SetCtrlNoHEX(const QString &text) {
  ctrlNo_ = ParseIntegerText(text);
}

bool TDragTweak::TabStop() const {
  return focusPolicy() & Qt::TabFocus;
}

void TDragTweak::SetTabStop(bool stop) {
  setFocusPolicy(stop ? Qt::StrongFocus : Qt::ClickFocus);
}

tknob *TDragTweak::CopyKnob() const {
  return copyKnob_;
}

void TDragTweak::SetCopyKnob(QObject *control) {
  copyKnob_ = qobject_cast<tknob *>(control);
}

QLabel *TDragTweak::NameLabel() const {
  return nameLabel_;
}

void TDragTweak::SetNameLabel(QLabel *label) {
  nameLabel_ = label;
}

void TDragTweak::TurnTo(int target) {
  Changed(model_.SetPosition(target));
  // A drag still held keeps its hidden pointer.
  MouseUp(mbLeft, TShiftState(ssLeft), QPoint(0, 0),
          QGuiApplication::mouseButtons() == Qt::NoButton);
}

void TDragTweak::SetBold(bool bold) {
  // Only the weight becomes the box's own; face and size still follow the parent.
  QFont weighted = font();
  weighted.setBold(bold);
  setFont(weighted);
}

void TDragTweak::MouseDown(TMouseButton button, TShiftState shift, QPoint at) {
  setFocus(Qt::MouseFocusReason);
  QPointer<TDragTweak> alive(this);
  if (OnMouseDown) OnMouseDown(this, button, shift, at.x(), at.y());
  if (!alive) return;
  if (button == mbLeft) model_.BeginDrag(at.x());
  if (!pointer_.IsHidden()) savedPointerPosition_ = DragPointer::Current();
  pointer_.Hide();
}

void TDragTweak::MouseMove(TShiftState shift, QPoint at) {
  QPointer<TDragTweak> alive(this);
  if (OnMouseMove) OnMouseMove(this, shift, at.x(), at.y());
  if (!alive) return;
  Changed(model_.DragMove(shift, at.x()));
}

void TDragTweak::MouseUp(TMouseButton button, TShiftState shift, QPoint at, bool lastButton) {
  // The pointer comes back only when the last held button is let go.
  if (lastButton) pointer_.PutBack(savedPointerPosition_);
  QPointer<TDragTweak> alive(this);
  if (OnMouseUp) OnMouseUp(this, button, shift, at.x(), at.y());
  if (!alive) return;
  if (QPointer<tknob> knob = copyKnob_) knob->SetPosition(Position());
  if (lastButton) pointer_.Show();
}

void TDragTweak::mousePressEvent(QMouseEvent *event) {
  if (!IsOrdinaryButton(event->button())) return;
  if (event->button() == Qt::LeftButton) clickPending_ = true;
  MouseDown(MouseButtonFrom(event->button()), ShiftStateFrom(event->modifiers(), event->buttons()),
            event->position().toPoint());
}

void TDragTweak::mouseMoveEvent(QMouseEvent *event) {
  MouseMove(ShiftStateFrom(event->modifiers(), event->buttons()), event->position().toPoint());
}

void TDragTweak::mouseReleaseEvent(QMouseEvent *event) {
  if (!IsOrdinaryButton(event->button())) return;
  const QPoint at = event->position().toPoint();
  if (event->button() == Qt::LeftButton && clickPending_) {
    clickPending_ = false;
    QPointer<TDragTweak> alive(this);
    if (rect().contains(at) && OnClick) OnClick(this);
    if (!alive) return;
  }
  MouseUp(MouseButtonFrom(event->button()), ShiftStateFrom(event->modifiers(), event->buttons()),
          at, event->buttons() == Qt::NoButton);
}

void TDragTweak::mouseDoubleClickEvent(QMouseEvent *event) {
  if (!IsOrdinaryButton(event->button())) return;
  if (event->button() == Qt::LeftButton) {
    clickPending_ = false;  // the release after a double-click is no click
    QPointer<TDragTweak> alive(this);
    if (OnDblClick) OnDblClick(this);
    if (!alive) return;
    ResetToDefault();
  }
  MouseDown(MouseButtonFrom(event->button()),
            ShiftStateFrom(event->modifiers(), event->buttons(), true),
            event->position().toPoint());
}

void TDragTweak::keyPressEvent(QKeyEvent *event) {
  const TShiftState shift = ShiftStateFrom(event->modifiers(), Qt::NoButton);
  QPointer<TDragTweak> alive(this);
  if (onKeyDown) onKeyDown(this, event->key(), shift);
  if (onKeyPress) {
    for (const QChar typed : event->text()) {
      if (!alive) return;
      onKeyPress(this, typed);
    }
  }
  event->accept();
}

void TDragTweak::keyReleaseEvent(QKeyEvent *event) {
  event->accept();
  // Holding an arrow steps once, when it is let go; auto-repeat's releases are not real ones.
  if (event->isAutoRepeat()) return;
  QPointer<TDragTweak> alive(this);
  if (onKeyUp) onKeyUp(this, event->key(), ShiftStateFrom(event->modifiers(), Qt::NoButton));
  if (!alive) return;
  const int last = static_cast<int>(Items().size()) - 1;
  if (const auto target = KeyTurnTarget(*event, Position(), 0, last, DragTweakModel::kShiftStep))
    TurnTo(*target);
}

void TDragTweak::wheelEvent(QWheelEvent *event) {
  const int notches = WheelNotches(*event, wheelRemainder_);
  if (notches == 0) return;
  const int step =
      event->modifiers() & Qt::ShiftModifier ? DragTweakModel::kShiftStep : DragTweakModel::kStep;
  TurnTo(Position() + notches * step);
}

void TDragTweak::focusInEvent(QFocusEvent *event) {
  SetBold(true);
  QFrame::focusInEvent(event);
}

void TDragTweak::focusOutEvent(QFocusEvent *event) {
  SetBold(false);
  QFrame::focusOutEvent(event);
}

void TDragTweak::enterEvent(QEnterEvent *event) {
  QFrame::enterEvent(event);
  if (OnMouseEnter) OnMouseEnter(this);
}

void TDragTweak::leaveEvent(QEvent *event) {
  QFrame::leaveEvent(event);
  if (OnMouseLeave) OnMouseLeave(this);
}

void TDragTweak::hideEvent(QHideEvent *event) {
  // A box hidden in the middle of a drag never sees the release: give the pointer back now.
  pointer_.Show();
  clickPending_ = false;
  QFrame::hideEvent(event);
}

void TDragTweak::paintEvent(QPaintEvent *event) {
  QFrame::paintEvent(event);
  QPainter painter(this);
  painter.setPen(palette().color(QPalette::WindowText));
  painter.setFont(font());
  painter.drawText(contentsRect(), Qt::AlignCenter, model_.Caption());
  if (hasFocus()) DrawFocusRing(painter, contentsRect(), palette().color(QPalette::WindowText));
}
