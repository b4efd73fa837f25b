// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up load, shutdown save, and the Setup page's device, font, hint and knob-pole handlers.

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTabWidget>

#include "Dialogs.h"
#include "DragTweak.h"
#include "ErrorBox.h"
#include "Exception.h"
#include "MIDIappUtil.h"
#include "MidiIn.h"
#include "MidiOut.h"
#include "MouseUpButton.h"
#include "RadioGroup.h"
#include "SettingsStore.h"
#include "Unit1.h"
#include "WindowHelpers.h"
#include "WindowTexts.h"
#include "knob.h"

namespace {

std::vector<tknob *> KnobsOn(QWidget *panel) {
  auto list = panel->findChildren<tknob *>();
  return {list.begin(), list.end()};
}

std::vector<TDragTweak *> BoxesOn(QWidget *panel) {
  auto list = panel->findChildren<TDragTweak *>();
  return {list.begin(), list.end()};
}

}  // namespace

void TForm1::TransferSettings(bool Load) {
  if (Load)
    LoadSettings();
  else
    SaveSettings();
}

// Runs one step of the start-up load. A step that fails shows its error at once, before the
// window is shown, and the load goes on: every later step still runs, so nothing stored is lost.
void TForm1::LoadStep(const std::function<void()> &step) {
  try {
    step();
  } catch (const Exception &e) {
    Dialogs::Current().ShowError(ErrorBoxText(e.Message()));
  }
}

void TForm1::LoadSettings() {
  for (QWidget *panel : {static_cast<QWidget *>(kelvanepanel), static_cast<QWidget *>(kbpanel)})
    for (tknob *dial : KnobsOn(panel)) {
      // A knob draws only when its position changes: pass through 1 to draw the frame for 0.
      dial->SetPosition(1);
      dial->SetPosition(0);
    }
  ShowAboutText();

  Settings_ = std::make_unique<SettingsStore>(settingsFile_);
  if (!Settings_->OpenProblem().isEmpty())
    Dialogs::Current().ShowError(ErrorBoxText(Settings_->OpenProblem()));
  SettingsStore &store = *Settings_;

  speed->SetPosition(ToWord(store.ReadInteger("setup", "speed", 6)));
  LoadStep([this] { FillDeviceLists(); });
  LoadStep([this] { OpenStoredOutput(); });
  LoadStep([this] { OpenStoredInput(); });

  int axis = store.ReadInteger("setup", "pole", 1);
  for (QWidget *panel : {static_cast<QWidget *>(kelvanepanel), static_cast<QWidget *>(kbpanel)})
    for (tknob *dial : KnobsOn(panel)) dial->SetAxis(axis == 0 ? axHorizontal : axVertical);
  pole->SetItemIndex(axis);

  velrnd->FillRange(0, 48, QString(), QString());
  vel->FillRange(0, 127, QString(), QString());
  for (TDragTweak *box : BoxesOn(keyboardpanel))
    box->SetPosition(store.ReadInteger("kb", box->objectName(), box->PositionDefault()));
  engine->SetVelocity(vel->Position());
  engine->SetVelRnd(velrnd->Position());

  for (int k = 1; k <= 22; ++k) knobbox->addItem(QStringLiteral(" knob%1").arg(k));
  for (int n = 0; n <= 127; ++n) ctrlno->addItem(QStringLiteral(" #%1").arg(n));
  ctrl->setCurrentIndex(1);
  knobbox->setCurrentIndex(0);
  ctrlno->setCurrentIndex(0);
  knobchannel->setCurrentIndex(0);

  for (QLabel *label : kelvanepanel->findChildren<QLabel *>()) {
    int k = label->property("Tag").toInt();
    if (k == 0) continue;
    label->setText(store.ReadString("knob", QStringLiteral("knobname%1").arg(k), "knob"));
    label->adjustSize();
    QPalette palette = label->palette();
    palette.setColor(
        QPalette::WindowText,
        ColourOfRgb(store.ReadInteger("knob", QStringLiteral("knobnamecolor%1").arg(k), 0)));
    label->setPalette(palette);
  }
  channel->setCurrentIndex(0);
  for (tknob *dial : KnobsOn(kelvanepanel)) {
    int k = dial->Tag();
    if (k == 0) continue;
    dial->SetTag1(ToWord(store.ReadInteger("knob", QStringLiteral("knobctrl%1").arg(k), 176)));
    dial->SetTag2(ToWord(store.ReadInteger("knob", QStringLiteral("knobctrlno%1").arg(k), k + 23)));
    dial->SetTag3(
        ToWord(store.ReadInteger("knob", QStringLiteral("knobchannel%1").arg(k), dial->Tag3())));
  }

  for (int i = 1; i <= 32; ++i)
    SetMarker(snapshotButton[i - 1],
              store.ReadInteger(QStringLiteral("button%1").arg(i), "knob1", -1) != -1);
  showHints_ = store.ReadBool("setup", "showhint", true);
  showhint->setChecked(showHints_);
  for (TMouseUpButton *button : schemeButton) {
    int t = button->property("Tag").toInt();
    if (t != 0 && store.ReadInteger(QStringLiteral("scheme%1").arg(t), "knobctrl1", -1) != -1)
      SetMarker(button, true);
  }
  channel->setCurrentIndex(store.ReadInteger("setup", "ch", 0));
  comkeymode->SetItemIndex(store.ReadInteger("setup", "comkeymode", 0));
  loaded_ = true;
}

// The output chosen last (by name where the store has one), or the Setup page when none was.
void TForm1::OpenStoredOutput() {
  const ChosenDevice stored{Settings_->ReadString("setup", "outname", QString()),
                            Settings_->ReadInteger("setup", "out", -1)};
  if (stored.IsNothing()) {
    // Nobody chose an output yet: show the Setup page, without the page-change handler.
    QSignalBlocker quiet(PageControl1);
    PageControl1->setCurrentWidget(TabSheet3);
    midiout->setCurrentIndex(-1);
    return;
  }
  UseOutput(stored);
}

void TForm1::OpenStoredInput() {
  ChosenDevice stored{Settings_->ReadString("setup", "inname", QString()),
                      Settings_->ReadInteger("setup", "in", -1)};
  // An input number nobody chose (none stored, or -1 saved on a machine without inputs) is not
  // worth an error box on a machine that has no input at all.
  if (stored.IsNothing()) {
    if (inputNames_.isEmpty()) return;
    stored.number = 0;
  }
  UseInput(stored);
}

void TForm1::SaveSettings() {
  // A window that did not load has nothing of its own to save over what is stored.
  if (!Settings_ || !loaded_ || Settings_->IsClosed()) return;
  SettingsStore &store = *Settings_;
  for (TDragTweak *box : BoxesOn(keyboardpanel))
    store.WriteInteger("kb", box->objectName(), box->Position());
  store.WriteInteger("setup", "ch", channel->currentIndex());
  store.WriteInteger("setup", "comkeymode", comkeymode->ItemIndex());
  // A device the list could not select (it is away) keeps its name and number, so that it opens
  // again once it is back.
  if (midiout->currentIndex() >= 0 || !store.ValueExists("setup", "out")) {
    store.WriteInteger("setup", "out", SelectedOutput().number);
    if (!SelectedOutput().name.isEmpty())
      store.WriteString("setup", "outname", SelectedOutput().name);
  }
  if (midiin->currentIndex() >= 0 || !store.ValueExists("setup", "in")) {
    store.WriteInteger("setup", "in", midiin->currentIndex());
    if (!SelectedInput().name.isEmpty()) store.WriteString("setup", "inname", SelectedInput().name);
  }
  store.Close();
  MidiOutput1->ClosePort();
  MidiInput1->ClosePort();
}

void TForm1::ShowAboutText() {
  QFile readme(TMIDIappUtil::ProgramFolder() + QStringLiteral("/readme.txt"));
  if (readme.exists() && readme.open(QIODevice::ReadOnly | QIODevice::Text))
    Memo1->setPlainText(QString::fromUtf8(readme.readAll()));
  else
    Memo1->setPlainText(FixedAboutText());
}

void TForm1::ApplyFontFace(const QString &face) {
  QFont windowFont = font();
  windowFont.setFamily(face);
  setFont(windowFont);
  for (QLabel *label : kelvanepanel->findChildren<QLabel *>()) {
    QFont labelFont = label->font();
    labelFont.setFamily(face);
    label->setFont(labelFont);
    label->adjustSize();
  }
}

void TForm1::midioutChange(QObject *) {
  ChooseOutput(SelectedOutput());
}

void TForm1::midiinChange(QObject *) {
  ChooseInput(SelectedInput());
}

// The ports stay on the service they were opened on: the choice is stored and used from the next
// start (unless --midi-api names another).
void TForm1::midiapiChange(QObject *) {
  Settings_->WriteString("setup", "midiapi", midiapi->currentText());
  SetStatusText(QStringLiteral("MIDI service %1 from the next start").arg(midiapi->currentText()));
}

void TForm1::fontbtnClick(QObject *) {
  std::optional<QString> face = Dialogs::Current().FontFace();
  if (!face) return;
  ApplyFontFace(*face);
  Settings_->WriteString("setup", "font", font().family());
}

void TForm1::showhintClick(QObject *) {
  showHints_ = showhint->isChecked();
  Settings_->WriteBool("setup", "showhint", showhint->isChecked());
}

void TForm1::poleClick(QObject *) {
  Taxis axis = pole->ItemIndex() == 0 ? axHorizontal : axVertical;
  for (QWidget *panel : {static_cast<QWidget *>(kelvanepanel), static_cast<QWidget *>(kbpanel)})
    for (tknob *dial : KnobsOn(panel)) dial->SetAxis(axis);
  Settings_->WriteInteger("setup", "pole", pole->ItemIndex());
}

void TForm1::speedMouseUp(QObject *, TMouseButton, TShiftState, int, int) {
  Settings_->WriteInteger("setup", "speed", speed->Position());
}
