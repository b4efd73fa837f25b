// Computer-keyboard control: key preview, knob keys, note keys, the keyboard page's knobs.

#include <QKeyEvent>
#include <QLineEdit>
#include <QWindow>

#include "Unit1.h"
#include "VirtualKeys.h"

bool TForm1::PreviewKey(QObject *watched, QKeyEvent *event) {
  if (watched == Edit1 && event->type() == QEvent::KeyPress && !event->text().isEmpty()) {
    QChar key = event->text().front();
    Guard([&] { Edit1KeyPress(Edit1, key); });
    return false;
  }
  // Every key event reaches the window's own QWindow first, once, before the focused control.
  if (watched != windowHandle()) return false;
  TShiftState shift = ShiftStateFrom(event->modifiers(), Qt::NoButton);
  uint16_t key = VirtualKeyOf(*event);
  if (event->type() == QEvent::KeyPress) {
    Guard([&] { FormKeyDown(this, key, shift); });
    QChar character = UsCharacterOf(*event);
    if (!character.isNull()) Guard([&] { FormKeyPress(this, character); });
  } else if (!event->isAutoRepeat()) {
    Guard([&] { FormKeyUp(this, key, shift); });
  }
  return false;
}

void TForm1::FormKeyDown(QObject *, uint16_t &, TShiftState) {}
void TForm1::FormKeyPress(QObject *, QChar &) {}
void TForm1::FormKeyUp(QObject *, uint16_t &, TShiftState) {}
void TForm1::velMouseUp(QObject *, TMouseButton, TShiftState, int, int) {}
void TForm1::velrndMouseUp(QObject *, TMouseButton, TShiftState, int, int) {}
void TForm1::tknob1MouseMove(QObject *, TShiftState, int, int) {}
void TForm1::tknob2MouseMove(QObject *, TShiftState, int, int) {}
void TForm1::tknob3MouseMove(QObject *, TShiftState, int, int) {}
void TForm1::tknob4MouseMove(QObject *, TShiftState, int, int) {}
void TForm1::tknob5MouseMove(QObject *, TShiftState, int, int) {}
void TForm1::tknob1MouseUp(QObject *, TMouseButton, TShiftState, int, int) {}
void TForm1::tknob3MouseUp(QObject *, TMouseButton, TShiftState, int, int) {}
void TForm1::tknob4MouseUp(QObject *, TMouseButton, TShiftState, int, int) {}
void TForm1::tknob5MouseUp(QObject *, TMouseButton, TShiftState, int, int) {}
