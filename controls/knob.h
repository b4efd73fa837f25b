// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "DragPointer.h"
#include "KnobArt.h"
#include "KnobModel.h"
#include "ShiftState.h"

class QLabel;
class TDragTweak;

// The rotary knob: shows one frame of a knob strip for its value and changes the value while the
// user drags over it with the left button held (one step per mouse move, eight with Shift).
// Double-click returns to the default; Ctrl+click makes the current value the new default. The
// knob knows nothing of MIDI: the owner reads Position and the Tag fields in OnMouseMove.
// It can be linked to a value box (CopyDragTweak) that mirrors it.
// With the keyboard focus (Tab, a click or the wheel) it turns by the arrow keys, Page Up and Page
// Down, Home and End, and by the wheel, raising the same events a drag does (ControlKeys.h).
// Screen readers see it as a dial named by its NameLabel (ControlsAccessible.h).
class tknob : public QWidget {
  Q_OBJECT
  Q_PROPERTY(int Tag READ Tag WRITE SetTag)

 public:
  explicit tknob(QWidget *parent = nullptr);
  ~tknob() override;

  int Tag() const { return tag_; }
  void SetTag(int tag) { tag_ = tag; }

  uint16_t Position() const { return model_.Position(); }
  // Clamps to Min..Max, stores and shows the matching frame. Setting the current value again
  // does nothing at all. Takes a wide integer so that a negative value clamps to Min.
  void SetPosition(int v);
  uint16_t Max() const { return model_.Max(); }
  void SetMax(uint16_t v) { model_.SetMax(v); }
  uint16_t Min() const { return model_.Min(); }
  void SetMin(uint16_t v) { model_.SetMin(v); }
  uint16_t PositionDefault() const { return model_.PositionDefault(); }
  void SetPositionDefault(uint16_t v) { model_.SetPositionDefault(v); }
  Taxis Axis() const { return model_.Axis(); }
  void SetAxis(Taxis axis) { model_.SetAxis(axis); }

  uint16_t CtrlNo() const { return ctrlNo_; }
  void SetCtrlNo(uint16_t v) { ctrlNo_ = v; }
  // "$" and CtrlNo in upper-case hexadecimal, at least two digits.
  QString CtrlNoHEX() const;
  // Decimal or "$hex", kept to 16 bits; throws EConvertError and keeps CtrlNo on bad text.
  void SetCtrlNoHEX(const QString &text);

  uint16_t Tag1() const { return tags_[0]; }
  void SetTag1(uint16_t v) { tags_[0] = v; }
  uint16_t Tag2() const { return tags_[1]; }
  void SetTag2(uint16_t v) { tags_[1] = v; }
  uint16_t Tag3() const { return tags_[2]; }
  void SetTag3(uint16_t v) { tags_[2] = v; }
  uint16_t Tag4() const { return tags_[3]; }
  void SetTag4(uint16_t v) { tags_[3] = v; }
  uint16_t Tag5() const { return tags_[4]; }
  void SetTag5(uint16_t v) { tags_[4] = v; }

  // Kept for the owner; the knob does not read it.
  bool ShowPos() const { return showPos_; }
  void SetShowPos(bool show) { showPos_ = show; }

  // Always false after a write; writing clears the picture to a plain filled square.
  bool Flushnow() const { return flushnow_; }
  void SetFlushnow(bool ignored);

  TKnobImageList *iImageList() const { return imageList_; }
  // Links the strip (turning its masking off) and sizes the knob to its frames; null unlinks
  // and clears the picture. No frame shows until Position next changes.
  void SetiImageList(TKnobImageList *list);

  TDragTweak *CopyDragTweak() const;
  // Links `box` both ways and takes its range, controller number, position and default; any
  // box linked before loses its link to this knob. Null unlinks this knob only.
  void SetCopyDragTweak(TDragTweak *box);

  // The label that names the knob, for screen readers; the knob's own accessible name wins.
  QLabel *NameLabel() const;
  void SetNameLabel(QLabel *label);

  // One turn by the keyboard, the wheel or a screen reader: the knob goes to `target` (clamped),
  // then the owner's OnMouseMove fires as for a drag move with `held` (the left button, maybe
  // Shift), so it sends the value the knob now shows.
  void TurnTo(int target, TShiftState held);
  // The end of such a turn, raised as a drag's release is: the owner's OnMouseUp with the left
  // button, then the linked box follows. The pointer is left alone.
  void EndTurn(TShiftState held);

  // Read-only views of the drag state, for tests.
  int32_t LastDragCoordinate() const { return model_.LastDragCoordinate(); }
  QPoint SavedPointerPosition() const { return savedPointerPosition_; }
  // The frame the knob shows, -1 when none.
  int FrameIndex() const { return frameIndex_; }

  // The knob's own handling of a mouse move at (X, Y): first the owner's OnMouseMove, with the
  // position as it was before this move; then, with the left button (and maybe Shift) held,
  // one drag step. The window also calls this directly.
  void MouseMove(TShiftState Shift, int X, int Y);

  // The owner's events. All run on the GUI thread, synchronously, at the point named; they may
  // read and set the knob's properties but must not delete the knob.
  // Before the knob's own handling of a press (hiding the pointer).
  std::function<void(QObject *Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>
      OnMouseDown;
  // Before the drag step of each move.
  std::function<void(QObject *Sender, TShiftState Shift, int X, int Y)> OnMouseMove;
  // Before the knob's own handling of a release (pointer back, linked box, Ctrl default).
  std::function<void(QObject *Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>
      OnMouseUp;
  // A left press and release over the knob; fires before OnMouseUp.
  std::function<void(QObject *Sender)> OnClick;
  // Before the return to the default.
  std::function<void(QObject *Sender)> OnDblClick;
  std::function<void(QObject *Sender)> OnMouseEnter;
  std::function<void(QObject *Sender)> OnMouseLeave;

 protected:
  void paintEvent(QPaintEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void mouseDoubleClickEvent(QMouseEvent *event) override;
  void enterEvent(QEnterEvent *event) override;
  void leaveEvent(QEvent *event) override;
  void hideEvent(QHideEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  void keyReleaseEvent(QKeyEvent *event) override;
  void wheelEvent(QWheelEvent *event) override;
  void focusInEvent(QFocusEvent *event) override;
  void focusOutEvent(QFocusEvent *event) override;

 private:
  void MouseDown(TMouseButton button, TShiftState shift, QPoint at);
  // `endsPointerDrag`: the release of a real press, which gives the pointer back.
  void MouseUp(TMouseButton button, TShiftState shift, QPoint at, bool endsPointerDrag = true);
  void ShowFrameFor(int position);

  KnobModel model_;
  int tag_ = 0;
  uint16_t ctrlNo_ = 0;
  uint16_t tags_[5] = {};
  bool showPos_ = true;
  bool flushnow_ = false;
  bool flushed_ = false;  // the picture is a plain filled square
  int frameIndex_ = -1;
  bool clickPending_ = false;  // a left press began over the knob and was not a double-click
  QPointer<TKnobImageList> imageList_;
  QPointer<TDragTweak> copyDragTweak_;
  QPointer<QLabel> nameLabel_;
  int wheelRemainder_ = 0;  // part of a notch from a smooth-scrolling wheel
  QPoint savedPointerPosition_;
  DragPointer pointer_;
};
