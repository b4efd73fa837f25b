// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The "Knob Setup" editors of the Setup page, and the page change.

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>

#include "Dialogs.h"
#include "SettingsStore.h"
#include "Unit1.h"
#include "WindowHelpers.h"
#include "knob.h"

int TForm1::ChosenKnob() const {
  return knobbox->currentIndex() + 1;
}

void TForm1::knobboxChange(QObject *) {
  const int k = ChosenKnob();
  tknob *dial = findChild<tknob *>(QStringLiteral("knob%1").arg(k));
  if (!dial) return;
  Edit1->setText(Settings_->ReadString("knob", QStringLiteral("knobname%1").arg(k), QString()));
  int type = Settings_->ReadInteger("knob", QStringLiteral("knobctrl%1").arg(k), dial->Tag1());
  ctrl->setCurrentIndex(IsStatusBase(type) ? (type - 160) / 16 : -1);
  if (ctrl->currentIndex() == 1)
    ctrlno->setCurrentIndex(
        Settings_->ReadInteger("knob", QStringLiteral("knobctrlno%1").arg(k), dial->Tag2()));
  knobchannel->setCurrentIndex(
      Settings_->ReadInteger("knob", QStringLiteral("knobchannel%1").arg(k), dial->Tag3()));
}

void TForm1::ctrlChange(QObject *) {
  const int k = ChosenKnob();
  tknob *dial = BankKnob(k);
  const int type = ctrl->currentIndex();
  ctrlno->setEnabled(type == 1);
  if (!dial || type < 0) return;
  dial->SetTag1(static_cast<uint16_t>(160 + 16 * type));
  if (type == 1 && ctrlno->currentIndex() >= 0) {
    dial->SetTag2(static_cast<uint16_t>(ctrlno->currentIndex()));
    Settings_->WriteInteger("knob", QStringLiteral("knobctrlno%1").arg(k), dial->Tag2());
  }
  Settings_->WriteInteger("knob", QStringLiteral("knobctrl%1").arg(k), dial->Tag1());
}

void TForm1::ctrlnoChange(QObject *) {
  const int k = ChosenKnob();
  tknob *dial = BankKnob(k);
  if (!dial || ctrlno->currentIndex() < 0) return;
  dial->SetTag2(static_cast<uint16_t>(ctrlno->currentIndex()));
  Settings_->WriteInteger("knob", QStringLiteral("knobctrlno%1").arg(k), ctrlno->currentIndex());
}

void TForm1::knobchannelChange(QObject *) {
  const int k = ChosenKnob();
  tknob *dial = BankKnob(k);
  if (!dial || knobchannel->currentIndex() < 0) return;
  dial->SetTag3(static_cast<uint16_t>(knobchannel->currentIndex()));
  Settings_->WriteInteger("knob", QStringLiteral("knobchannel%1").arg(k),
                          knobchannel->currentIndex());
}

void TForm1::Edit1KeyPress(QObject *, QChar &Key) {
  // The name is committed by Enter only; other keys are the edit's own.
  if (Key != QChar(13)) return;
  const int k = ChosenKnob();
  if (QLabel *label = NameLabel(k)) {
    label->setText(Edit1->text());
    label->adjustSize();
  }
  Settings_->WriteString("knob", QStringLiteral("knobname%1").arg(k), Edit1->text());
  knobbox->setFocus();
}

void TForm1::namecolorClick(QObject *) {
  std::optional<QColor> colour = Dialogs::Current().Colour();
  if (!colour) return;
  const int k = ChosenKnob();
  if (QLabel *label = NameLabel(k)) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, *colour);
    label->setPalette(palette);
  }
  Settings_->WriteInteger("knob", QStringLiteral("knobnamecolor%1").arg(k), RgbOfColour(*colour));
}

void TForm1::PageControl1Change(QObject *) {
  SetStatusText(QString());
  QWidget *page = PageControl1->currentWidget();
  const bool buttonsWork = page == TabSheet1 || page == TabSheet3;
  snapshotpanel->setEnabled(buttonsWork);
  schemepanel->setEnabled(buttonsWork);
  popupOnRightClick_ = page == TabSheet1;
  ReleaseHeldKeysOutsideNoteMode();
}
