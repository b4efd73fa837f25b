// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Snapshots: 32 stored sets of the bank knobs' positions, named by their buttons' component
// names ("Button4" holds the snapshot with caption 2).

#include <QFrame>
#include <QPushButton>

#include "SettingsStore.h"
#include "Unit1.h"
#include "WindowHelpers.h"
#include "knob.h"

void TForm1::Button1MouseUp(QObject *Sender, TMouseButton Button, TShiftState Shift, int, int) {
  auto *button = static_cast<QPushButton *>(Sender);
  if (IsExactlyBold(button) && Button == mbLeft && Shift == TShiftState(ssAlt))
    StartMorph(button->objectName());
  else if (IsExactlyBold(button) && Button == mbLeft && Shift != TShiftState(ssShift))
    RecallSnapshot(button->objectName());
  else if (Shift == TShiftState(ssShift) && Button == mbLeft)
    RecordSnapshot(button);
}

void TForm1::RecordSnapshot(QPushButton *button) {
  for (int k = 1; k <= 22; ++k)
    Settings_->WriteInteger(button->objectName(), QStringLiteral("knob%1").arg(k),
                            BankKnob(k)->Position());
  SetMarker(button, true);
}

void TForm1::RecallSnapshot(const QString &section) {
  // Each knob moves and sends before the next; a failed send ends the recall at that knob.
  // A glide under way ends here: the recall is at once.
  EndMorph();
  for (int k = 1; k <= 22; ++k) {
    tknob *dial = BankKnob(k);
    int stored = Settings_->ReadInteger(section, QStringLiteral("knob%1").arg(k), 0);
    dial->SetPosition(ToWord(stored));
    knob1MouseMove(dial, ssLeft, 0, 0);
  }
}

void TForm1::ss321Click(QObject *Sender) {
  const QString caption = QString::number(Sender->property("Tag").toInt());
  for (QPushButton *button : snapshotpanel->findChildren<QPushButton *>())
    if (button->text() == caption) Button1MouseUp(button, mbLeft, ssLeft, 0, 0);
}
