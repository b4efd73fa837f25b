// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The window's life: construction, the handler guard, closing, the pop-up menu and the hint
// switch.

#include "Unit1.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QWindow>

#include "Dialogs.h"
#include "DragTweak.h"
#include "ErrorBox.h"
#include "Exception.h"
#include "MIDIappUtil.h"
#include "MidiIn.h"
#include "MidiOut.h"
#include "MonitorLog.h"
#include "MouseUpButton.h"
#include "RadioGroup.h"
#include "SettingsStore.h"
#include "SysExLibrarian.h"
#include "knob.h"

TForm1::TForm1(MidiBackend &backend, const QString &settingsFile, QWidget *parent)
    : TForm1([&backend]() -> MidiBackend & { return backend; }, settingsFile, parent) {}

TForm1::TForm1(const std::function<MidiBackend &()> &openBackend, const QString &settingsFile,
               QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      settingsFile_(settingsFile) {
  setObjectName("Form1");
  setWindowTitle("Kelvane");
  setFixedSize(529, 195);
  QFont windowFont(QStringLiteral("tahoma"));
  windowFont.setPixelSize(11);
  setFont(windowFont);

  CreateControls();
  MidiBackend &backend = openBackend();
  CreateComponents(backend);
  WatchDevices(backend);
  midiapi->setCurrentIndex(midiapi->findText(backend.Api()));
  BindEvents();
  librarian_ = new TSysExLibrarian(*this);
  // Key preview and the hint switch see every event of the application first.
  qApp->installEventFilter(this);
  FormCreate(this);
  librarian_->LoadSettings();
}

TForm1::~TForm1() {
  qApp->removeEventFilter(this);
  if (!destroyed_) FormDestroy(this);
}

void TForm1::FormCreate(QObject *) {
  TransferSettings(true);
  LoadStep([this] { LoadTwoWaySettings(); });
  LoadStep([this] { ApplyFontFace(Settings_->ReadString("setup", "font", "tahoma")); });
}

void TForm1::FormDestroy(QObject *) {
  ReleaseHeldKeys();  // while the output is still open: no note outlives the window
  EndMorph();
  StopOutputTransfer(QString());
  CloseMonitor();
  destroyed_ = true;
  Guard([this] { TransferSettings(false); });
}

void TForm1::Guard(const std::function<void()> &handler) {
  // Handlers run inside handlers (a snapshot recall drives the knobs' own handlers, a modal
  // dialog lets notices through): only the outermost run shows an error, once, and flushes.
  ++guardDepth_;
  if (Settings_) Settings_->BeginBatch();
  try {
    handler();
  } catch (const Exception &e) {
    if (firstError_.isEmpty()) firstError_ = e.Message();
  } catch (const std::exception &e) {
    if (firstError_.isEmpty()) firstError_ = QString::fromUtf8(e.what());
  }
  try {
    if (Settings_) Settings_->EndBatch();
  } catch (const Exception &e) {
    if (firstError_.isEmpty()) firstError_ = e.Message();
  }
  if (--guardDepth_ > 0 || firstError_.isEmpty()) return;
  QString error = std::exchange(firstError_, QString());
  Dialogs::Current().ShowError(ErrorBoxText(error));
}

QString TForm1::StatusText() const {
  return statusPanel_->text();
}

void TForm1::SetStatusText(const QString &text) {
  statusPanel_->setText(text);
}

tknob *TForm1::BankKnob(int tag) const {
  return tag >= 1 && tag <= 22 ? knob[tag - 1] : nullptr;
}

QLabel *TForm1::NameLabel(int tag) const {
  return tag >= 1 && tag <= 22 ? knobLabel[tag - 1] : nullptr;
}

void TForm1::closeEvent(QCloseEvent *event) {
  if (!destroyed_) FormDestroy(this);
  event->accept();
}

void TForm1::contextMenuEvent(QContextMenuEvent *event) {
  // A right-click opens the menu when the button comes up (DeliverReleaseThenPopup), on every
  // platform: opened at the press, as X11 does, the menu would take the release from the scheme
  // buttons and the speed knob. The keyboard's menu key opens it at once.
  if (event->reason() != QContextMenuEvent::Mouse && popupOnRightClick_)
    PopupMenu1->popup(event->globalPos());
}

bool TForm1::DeliverReleaseThenPopup(QObject *window, QMouseEvent *event) {
  if (event->button() != Qt::RightButton || !popupOnRightClick_) return false;
  const QPoint at = event->globalPosition().toPoint();
  // The control under the pointer sees its release first (a scheme button selects, the speed
  // knob stores its value, a question may be asked); then the menu opens where the button was
  // let go, as long as that is on the window and the window is still there to show it.
  QPointer<TForm1> alive(this);
  static_cast<QObject *>(window)->event(event);
  if (alive && rect().contains(mapFromGlobal(at)) && isVisible()) PopupMenu1->popup(at);
  return true;
}

bool TForm1::IsWindowShortcut(const QKeyEvent &event) const {
  if (!(event.modifiers() & (Qt::ControlModifier | Qt::AltModifier))) return false;
  const QKeySequence pressed(event.keyCombination());
  for (const QAction *action : actions())
    if (action->shortcut().matches(pressed) == QKeySequence::ExactMatch) return true;
  return false;
}

bool TForm1::eventFilter(QObject *watched, QEvent *event) {
  switch (event->type()) {
    case QEvent::ToolTip:
      return !showHints_;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
      return PreviewKey(watched, static_cast<QKeyEvent *>(event));
    case QEvent::ShortcutOverride:
      // The focused control never claims one of the window's own shortcuts (a line edit would
      // take Ctrl+A as "select all"): withheld from it, the key goes to the shortcut.
      return watched == windowHandle() && IsWindowShortcut(*static_cast<QKeyEvent *>(event));
    case QEvent::MouseButtonRelease:
      return watched == windowHandle() &&
             DeliverReleaseThenPopup(watched, static_cast<QMouseEvent *>(event));
    case QEvent::WindowDeactivate:
    case QEvent::Hide:
      // The key-ups of keys held now will go to another window.
      if (watched == this) ReleaseHeldKeys();
      return QWidget::eventFilter(watched, event);
    case QEvent::Show:
      // So they will while a pop-up (the menu, a list's drop-down) has the keyboard.
      if (watched->isWidgetType() && static_cast<QWidget *>(watched)->windowType() == Qt::Popup)
        ReleaseHeldKeys();
      return QWidget::eventFilter(watched, event);
    default:
      return QWidget::eventFilter(watched, event);
  }
}

void TForm1::BindEvents() {
  for (tknob *dial : knob) {
    dial->OnMouseMove = [this](QObject *s, TShiftState sh, int x, int y) {
      Guard([&] { knob1MouseMove(s, sh, x, y); });
    };
    dial->OnMouseEnter = [this](QObject *s) { Guard([&] { knob1MouseEnter(s); }); };
  }
  speed->OnMouseMove = knob[0]->OnMouseMove;
  speed->OnMouseEnter = knob[0]->OnMouseEnter;
  speed->OnMouseUp = [this](QObject *s, TMouseButton b, TShiftState sh, int x, int y) {
    Guard([&] { speedMouseUp(s, b, sh, x, y); });
  };

  using MoveHandler = void (TForm1::*)(QObject *, TShiftState, int, int);
  using UpHandler = void (TForm1::*)(QObject *, TMouseButton, TShiftState, int, int);
  const MoveHandler moves[5] = {&TForm1::tknob1MouseMove, &TForm1::tknob2MouseMove,
                                &TForm1::tknob3MouseMove, &TForm1::tknob4MouseMove,
                                &TForm1::tknob5MouseMove};
  const UpHandler ups[5] = {&TForm1::tknob1MouseUp, nullptr, &TForm1::tknob3MouseUp,
                            &TForm1::tknob4MouseUp, &TForm1::tknob5MouseUp};
  for (int i = 0; i < 5; ++i) {
    MoveHandler move = moves[i];
    tknobs[i]->OnMouseMove = [this, move](QObject *s, TShiftState sh, int x, int y) {
      Guard([&] { (this->*move)(s, sh, x, y); });
    };
    if (UpHandler up = ups[i])
      tknobs[i]->OnMouseUp = [this, up](QObject *s, TMouseButton b, TShiftState sh, int x, int y) {
        Guard([&] { (this->*up)(s, b, sh, x, y); });
      };
  }
  vel->OnMouseUp = [this](QObject *s, TMouseButton b, TShiftState sh, int x, int y) {
    Guard([&] { velMouseUp(s, b, sh, x, y); });
  };
  velrnd->OnMouseUp = [this](QObject *s, TMouseButton b, TShiftState sh, int x, int y) {
    Guard([&] { velrndMouseUp(s, b, sh, x, y); });
  };

  for (TMouseUpButton *button : snapshotButton)
    button->OnMouseUp = [this](QObject *s, TMouseButton b, TShiftState sh, int x, int y) {
      Guard([&] { Button1MouseUp(s, b, sh, x, y); });
    };
  for (TMouseUpButton *button : schemeButton)
    button->OnMouseUp = [this](QObject *s, TMouseButton b, TShiftState sh, int x, int y) {
      Guard([&] { Button33MouseUp(s, b, sh, x, y); });
    };

  auto onClick = [this](QAbstractButton *button, void (TForm1::*handler)(QObject *)) {
    connect(button, &QAbstractButton::clicked, this,
            [this, button, handler] { Guard([&] { (this->*handler)(button); }); });
  };
  onClick(Sendbtn, &TForm1::SendbtnClick);
  onClick(GetBtn, &TForm1::GetBtnClick);
  onClick(doneBTN, &TForm1::doneBTNClick);
  onClick(namecolor, &TForm1::namecolorClick);
  onClick(fontbtn, &TForm1::fontbtnClick);
  onClick(showhint, &TForm1::showhintClick);
  pole->OnClick = [this](QObject *s) { Guard([&] { poleClick(s); }); };

  auto onPick = [this](QComboBox *box, void (TForm1::*handler)(QObject *)) {
    connect(box, &QComboBox::activated, this,
            [this, box, handler] { Guard([&] { (this->*handler)(box); }); });
  };
  onPick(midiout, &TForm1::midioutChange);
  onPick(midiin, &TForm1::midiinChange);
  onPick(midiapi, &TForm1::midiapiChange);
  onPick(knobbox, &TForm1::knobboxChange);
  onPick(ctrl, &TForm1::ctrlChange);
  onPick(ctrlno, &TForm1::ctrlnoChange);
  onPick(knobchannel, &TForm1::knobchannelChange);

  connect(PageControl1, &QTabWidget::currentChanged, this,
          [this] { Guard([&] { PageControl1Change(PageControl1); }); });

  auto onTrigger = [this](QAction *action, void (TForm1::*handler)(QObject *)) {
    connect(action, &QAction::triggered, this,
            [this, action, handler] { Guard([&] { (this->*handler)(action); }); });
  };
  onTrigger(Panic1, &TForm1::Panic1Click);
  onTrigger(maxx, &TForm1::MinnClick);
  onTrigger(Minn, &TForm1::MinnClick);
  for (QAction *item : ssItem) onTrigger(item, &TForm1::ss321Click);
  for (QAction *item : sItem) onTrigger(item, &TForm1::s121Click);

  MidiInput1->OnMidiInput = [this](QObject *s) { Guard([&] { MidiInput1MidiInput(s); }); };
  MidiInput1->OnOverflow = [this](QObject *s) { Guard([&] { MidiInput1Overflow(s); }); };
  MidiOutput1->Onmidioutput = [this](QObject *s) { Guard([&] { MidiOutput1midioutput(s); }); };
  engine->OnPanic = [this](QObject *s) { Guard([&] { enginePanic(s); }); };
  BindKeyboardEvents();
  BindTwoWayEvents();
}
