// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QChar>
#include <QFrame>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>

#include "DragPointer.h"
#include "DragTweakModel.h"
#include "ShiftState.h"

class QLabel;
class tknob;

// A small box that shows one text of a list (its caption, centred, lime on black) and steps
// through the list while the user drags left or right over it (ten items at a time with Shift),
// with the Left and Right arrow keys, and back to a default item with a double-click. Its
// position is the index of the shown text in Items. It can be linked to a knob (CopyKnob) that
// follows it when the button or arrow key is let go.
// With the keyboard focus the arrow keys step it (when let go), Page Up and Page Down ten items,
// Home and End to the ends, and the wheel one item a notch (ten with Shift) (ControlKeys.h).
// Screen readers see it as a slider named by its NameLabel (ControlsAccessible.h).
class TDragTweak : public QFrame {
  Q_OBJECT

 public:
  explicit TDragTweak(QWidget *parent = nullptr);
  ~TDragTweak() override;

  QString Caption() const { return model_.Caption(); }
  void SetCaption(const QString &caption);

  const QStringList &Items() const { return model_.Items(); }
  // Replaces the items; when there are any, the first one is shown.
  void SetItems(const QStringList &items);
  // Items prefix + n + suffix for n = first..last; when there are any, the first is shown.
  void FillRange(int first, int last, const QString &prefix, const QString &suffix);

  // The index of the first item equal to the caption (ignoring case), -1 when none is.
  int Position() const { return model_.Position(); }
  // Shows item v, clamped to the first or last item; nothing when there are no items.
  void SetPosition(int v);
  // Shows PositionDefault when AllowReset is set and the default is one of the items.
  void ResetToDefault();

  int PositionDefault() const { return model_.PositionDefault(); }
  void SetPositionDefault(int v) { model_.SetPositionDefault(v); }
  bool AllowReset() const { return model_.AllowReset(); }
  void SetAllowReset(bool allow) { model_.SetAllowReset(allow); }
  bool AllowLoop() const { return model_.AllowLoop(); }
  void SetAllowLoop(bool allow) { model_.SetAllowLoop(allow); }

  int CtrlNo() const { return ctrlNo_; }
  void SetCtrlNo(int v) { ctrlNo_ = v; }
  // "$" and CtrlNo in upper-case hexadecimal, at least two digits.
  QString CtrlNoHEX() const;
  // Decimal or "$hex"; throws EConvertError and keeps CtrlNo on bad text.
  void SetCtrlNoHEX(const QString &text);

  int Tag1() const { return tags_[0]; }
  void SetTag1(int v) { tags_[0] = v; }
  int Tag2() const { return tags_[1]; }
  void SetTag2(int v) { tags_[1] = v; }
  int Tag3() const { return tags_[2]; }
  void SetTag3(int v) { tags_[2] = v; }
  int Tag4() const { return tags_[3]; }
  void SetTag4(int v) { tags_[3] = v; }
  int Tag5() const { return tags_[4]; }
  void SetTag5(int v) { tags_[4] = v; }

  // Kept for the owner; the box does not read it.
  int IncrementValue() const { return incrementValue_; }
  void SetIncrementValue(int v) { incrementValue_ = v; }

  // Whether Tab reaches the box (it does not by default; a click always focuses it).
  bool TabStop() const;
  void SetTabStop(bool stop);
  // The box's place in the window's tab order, kept for the window that arranges the chain.
  int TabOrder() const { return tabOrder_; }
  void SetTabOrder(int order) { tabOrder_ = order; }

  tknob *CopyKnob() const;
  // Stores `control` when it is a knob, otherwise clears the link. The knob is not told; link
  // both ways through tknob::SetCopyDragTweak.
  void SetCopyKnob(QObject *control);

  // The label that names the box, for screen readers; the box's own accessible name wins.
  QLabel *NameLabel() const;
  void SetNameLabel(QLabel *label);

  // One step by a key, the wheel or a screen reader: the box shows item `target` (clamped), then
  // applies it as a left-button release at (0, 0) does: the owner's OnMouseUp, the linked knob.
  void TurnTo(int target);

  // Read-only views of the drag state, for tests.
  int LastDragX() const { return model_.LastDragX(); }
  QPoint SavedPointerPosition() const { return savedPointerPosition_; }

  // The owner's events. All run on the GUI thread, synchronously, at the point named; they may
  // read and set the box's properties but must not delete the box.
  // After the box has taken the focus, before it hides the pointer.
  std::function<void(QObject *Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>
      OnMouseDown;
  // Before the drag step of each move.
  std::function<void(QObject *Sender, TShiftState Shift, int X, int Y)> OnMouseMove;
  // On a release, and after each arrow-key step (as a left release at (0, 0)); before the
  // linked knob follows. The window applies the box's value here.
  std::function<void(QObject *Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>
      OnMouseUp;
  // A left press and release over the box; fires before OnMouseUp.
  std::function<void(QObject *Sender)> OnClick;
  // Before the return to the default.
  std::function<void(QObject *Sender)> OnDblClick;
  std::function<void(QObject *Sender)> OnMouseEnter;
  std::function<void(QObject *Sender)> OnMouseLeave;
  // Keys while the box has the focus; Key is the Qt key code. onKeyUp fires before the arrow
  // step, and not for auto-repeated releases.
  std::function<void(QObject *Sender, int Key, TShiftState Shift)> onKeyDown;
  std::function<void(QObject *Sender, int Key, TShiftState Shift)> onKeyUp;
  // Once for each character a key press types.
  std::function<void(QObject *Sender, QChar Key)> onKeyPress;

 protected:
  void paintEvent(QPaintEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void mouseDoubleClickEvent(QMouseEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  void keyReleaseEvent(QKeyEvent *event) override;
  void focusInEvent(QFocusEvent *event) override;
  void focusOutEvent(QFocusEvent *event) override;
  void enterEvent(QEnterEvent *event) override;
  void leaveEvent(QEvent *event) override;
  void hideEvent(QHideEvent *event) override;
  void wheelEvent(QWheelEvent *event) override;

 private:
  void MouseDown(TMouseButton button, TShiftState shift, QPoint at);
  void MouseMove(TShiftState shift, QPoint at);
  void MouseUp(TMouseButton button, TShiftState shift, QPoint at, bool lastButton);
  void SetBold(bool bold);
  void Changed(bool captionChanged);

  DragTweakModel model_;
  int ctrlNo_ = 0;
  int tags_[5] = {};
  int incrementValue_ = 1;
  int tabOrder_ = 0;
  bool clickPending_ = false;
  QPointer<tknob> copyKnob_;
  QPointer<QLabel> nameLabel_;
  int wheelRemainder_ = 0;  // part of a notch from a smooth-scrolling wheel
  QPoint savedPointerPosition_;
  DragPointer pointer_;
};
