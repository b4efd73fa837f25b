// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "knob.h"

#include <QAccessible>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "ControlKeys.h"
#include "ControlsAccessible.h"
#include "DragTweak.h"
#include "IntegerText.h"

namespace {

// The knob answers the three ordinary buttons only; extra buttons (back, forward) do nothing.
bool IsOrdinaryButton(Qt::MouseButton button) {
  return button == Qt::LeftButton || button == Qt::RightButton || button == Qt::MiddleButton;
}

}  // namespace

tknob::tknob(QWidget *parent) : QWidget(parent) {
  resize(TKnobImageList::kFrameSize, TKnobImageList::kFrameSize);
  setCursor(Qt::PointingHandCursor);
  // Moves without a button reach the owner too (it shows the knob's set-up on hover).
  setMouseTracking(true);
  // Tab, a click or the wheel give it the keys that turn it.
  setFocusPolicy(Qt::WheelFocus);
  InstallControlsAccessibility();
}

tknob::~tknob() = default;

void tknob::SetPosition(int v) {
  if (!model_.SetPosition(v)) return;
  NotifyValueChanged(this, Position());
  ShowFrameFor(Position());
}

void tknob::ShowFrameFor(int position) {
  if (!imageList_ || imageList_->Count() == 0) return;
  frameIndex_ = KnobFrameIndex(position, Max(), imageList_->Count());
  flushed_ = false;
  update();
}

QString tknob::CtrlNoHEX() const {
  return HexText(ctrlNo_);
}

void tknob::SetCtrlNoHEX(const QString &text) {
  ctrlNo_ = static_cast<uint16_t>(ParseIntegerText(text));
}

void tknob::SetFlushnow(bool) {
  flushnow_ = false;
  flushed_ = true;
  frameIndex_ = -1;
  update();
}

void tknob::SetiImageList(TKnobImageList *list) {
  imageList_ = list;
  if (list) {
    list->SetMasked(false);
    resize(list->Width(), list->Height());
    return;
  }
  frameIndex_ = -1;
  flushed_ = false;
  update();
}

TDragTweak *tknob::CopyDragTweak() const {
  return copyDragTweak_;
}

void tknob::SetCopyDragTweak(TDragTweak *box) {
  if (!box) {
    copyDragTweak_ = nullptr;  // the box keeps its own link
    return;
  }
  if (copyDragTweak_ && copyDragTweak_ != box && copyDragTweak_->CopyKnob() == this) {
    copyDragTweak_->SetCopyKnob(nullptr);
  }
  copyDragTweak_ = box;
  box->SetCopyKnob(this);
  // One knob value per item of the box; a box without items leaves the knob a range of one.
  const qsizetype items = box->Items().size();
  SetMax(static_cast<uint16_t>(std::clamp<qsizetype>(items - 1, 0, UINT16_MAX)));
  SetCtrlNo(static_cast<uint16_t>(box->CtrlNo()));
  SetPosition(box->Position());
  SetPositionDefault(static_cast<uint16_t>(box->PositionDefault()));
}

QLabel *tknob::NameLabel() const {
  return nameLabel_;
}

void tknob::SetNameLabel(QLabel *label) {
  nameLabel_ = label;
}

void tknob::TurnTo(int target, TShiftState held) {
  SetPosition(target);
  if (OnMouseMove) OnMouseMove(this, held, 0, 0);
}

void tknob::EndTurn(TShiftState held) {
  MouseUp(mbLeft, held, QPoint(0, 0), false);
}

void tknob::MouseMove(TShiftState Shift, int X, int Y) {
  QPointer<tknob> alive(this);
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
  if (!alive) return;
  if (const auto target = model_.DragMove(Shift, X, Y)) SetPosition(*target);
}

void tknob::MouseDown(TMouseButton button, TShiftState shift, QPoint at) {
  QPointer<tknob> alive(this);
  if (OnMouseDown) OnMouseDown(this, button, shift, at.x(), at.y());
  if (!alive || button != mbLeft) return;
  savedPointerPosition_ = DragPointer::Current();
  model_.BeginDrag(at.x(), at.y());
  pointer_.Hide();
}

void tknob::MouseUp(TMouseButton button, TShiftState shift, QPoint at, bool endsPointerDrag) {
  QPointer<tknob> alive(this);
  if (OnMouseUp) OnMouseUp(this, button, shift, at.x(), at.y());
  if (!alive) return;
  const bool givesPointerBack = button == mbLeft && endsPointerDrag;
  if (givesPointerBack) pointer_.PutBack(savedPointerPosition_);
  if (QPointer<TDragTweak> box = copyDragTweak_) {
    box->SetPosition(Position());
    if (box->OnMouseUp) box->OnMouseUp(box, button, shift, at.x(), at.y());
    if (!alive) return;
  }
  // A Ctrl+click: the released button has already left the shift state.
  if (shift == TShiftState(ssCtrl)) SetPositionDefault(Position());
  if (givesPointerBack) pointer_.Show();
}

void tknob::mousePressEvent(QMouseEvent *event) {
  if (!IsOrdinaryButton(event->button())) return;
  if (event->button() == Qt::LeftButton) clickPending_ = true;
  MouseDown(MouseButtonFrom(event->button()), ShiftStateFrom(event->modifiers(), event->buttons()),
            event->position().toPoint());
}

void tknob::mouseMoveEvent(QMouseEvent *event) {
  const QPoint at = event->position().toPoint();
  MouseMove(ShiftStateFrom(event->modifiers(), event->buttons()), at.x(), at.y());
}

void tknob::mouseReleaseEvent(QMouseEvent *event) {
  if (!IsOrdinaryButton(event->button())) return;
  const QPoint at = event->position().toPoint();
  if (event->button() == Qt::LeftButton && clickPending_) {
    clickPending_ = false;
    QPointer<tknob> alive(this);
    if (rect().contains(at) && OnClick) OnClick(this);
    if (!alive) return;
  }
  MouseUp(MouseButtonFrom(event->button()), ShiftStateFrom(event->modifiers(), event->buttons()),
          at);
}

void tknob::mouseDoubleClickEvent(QMouseEvent *event) {
  if (!IsOrdinaryButton(event->button())) return;
  const QPoint at = event->position().toPoint();
  if (event->button() == Qt::LeftButton) {
    clickPending_ = false;  // the release after a double-click is no click
    QPointer<tknob> alive(this);
    if (OnDblClick) OnDblClick(this);
    if (!alive) return;
    SetPosition(PositionDefault());
    if (QPointer<TDragTweak> box = copyDragTweak_) box->SetPosition(Position());
  }
  // The second press of a double-click is a press like any other (it starts a drag too).
  MouseDown(MouseButtonFrom(event->button()),
            ShiftStateFrom(event->modifiers(), event->buttons(), true), at);
}

void tknob::enterEvent(QEnterEvent *event) {
  QWidget::enterEvent(event);
  if (OnMouseEnter) OnMouseEnter(this);
}

void tknob::leaveEvent(QEvent *event) {
  QWidget::leaveEvent(event);
  if (OnMouseLeave) OnMouseLeave(this);
}

void tknob::hideEvent(QHideEvent *event) {
  // A knob hidden in the middle of a drag never sees the release: give the pointer back now.
  pointer_.Show();
  clickPending_ = false;
  QWidget::hideEvent(event);
}

namespace {

// The shift state a keyboard or wheel turn raises: a drag with the left button, and Shift when
// it is held, as a drag with Shift held would.
TShiftState TurnState(Qt::KeyboardModifiers modifiers) {
  return ShiftStateFrom(modifiers & Qt::ShiftModifier, Qt::LeftButton);
}

}  // namespace

void tknob::keyPressEvent(QKeyEvent *event) {
  const std::optional<int> target =
      KeyTurnTarget(*event, Position(), Min(), Max(), KnobModel::kShiftStep);
  if (!target) {
    event->ignore();
    return;
  }
  TurnTo(*target, TurnState(event->modifiers()));
}

void tknob::keyReleaseEvent(QKeyEvent *event) {
  if (!KeyTurnTarget(*event, Position(), Min(), Max(), KnobModel::kShiftStep)) {
    event->ignore();
    return;
  }
  // A held key turns on with each repeated press and ends the turn when really let go.
  if (!event->isAutoRepeat()) EndTurn(ShiftStateFrom(event->modifiers(), Qt::NoButton));
}

void tknob::wheelEvent(QWheelEvent *event) {
  const int notches = WheelNotches(*event, wheelRemainder_);
  if (notches == 0) return;
  const TShiftState held = TurnState(event->modifiers());
  const int step = held.testFlag(ssShift) ? KnobModel::kShiftStep : KnobModel::kStep;
  QPointer<tknob> alive(this);
  for (int n = 0; n < std::abs(notches) && alive; ++n)
    TurnTo(Position() + (notches > 0 ? step : -step), held);
  if (alive) EndTurn(ShiftStateFrom(event->modifiers(), Qt::NoButton));
}

void tknob::focusInEvent(QFocusEvent *event) {
  update();
  QWidget::focusInEvent(event);
}

void tknob::focusOutEvent(QFocusEvent *event) {
  update();
  QWidget::focusOutEvent(event);
}

void tknob::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  if (flushed_) {
    painter.setPen(Qt::black);
    painter.setBrush(Qt::white);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
  } else if (frameIndex_ >= 0 && imageList_) {
    imageList_->Draw(painter, QPoint(0, 0), frameIndex_);
  }
  if (hasFocus()) DrawFocusRing(painter, rect(), palette().color(QPalette::Highlight));
}
