// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Schemes: 12 stored knob set-ups with their output device and global channel. Recording and
// selecting both keep the live set-up section "knob" in step.

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "MIDIappUtil.h"
#include "SettingsStore.h"
#include "Unit1.h"
#include "WindowHelpers.h"
#include "knob.h"

namespace {

QString Name(const char *value, int k) {
  return QString::fromLatin1(value) + QString::number(k);
}

QColor LabelColour(const QLabel *label) {
  return label->palette().color(QPalette::WindowText);
}

}  // namespace

void TForm1::Button33MouseUp(QObject *Sender, TMouseButton, TShiftState Shift, int, int) {
  auto *button = static_cast<QPushButton *>(Sender);
  if (Shift == TShiftState() && IsExactlyBold(button))
    SelectScheme(button->text());
  else if (Shift == TShiftState(ssShift))
    RecordScheme(button);
}

void TForm1::RecordScheme(QPushButton *button) {
  const QString number = button->text();
  if (!engine->Ask("Data in Scheme" + number + " will be changed." + "\r\n" + " Continue? ", 1))
    return;
  const QString scheme = "scheme" + number;
  SettingsStore &store = *Settings_;
  store.WriteInteger(scheme, "midiout", midiout->currentIndex());
  store.WriteString(scheme, "midioutname",
                    outputAway_ ? chosenOutput_.name : SelectedOutput().name);
  store.WriteInteger("setup", "ch", channel->currentIndex());
  store.WriteInteger(scheme, "ch", channel->currentIndex());
  for (QObject *child : kelvanepanel->children()) {
    const int k = child->property("Tag").toInt();
    if (k == 0) continue;
    if (auto *dial = qobject_cast<tknob *>(child)) {
      store.WriteInteger(scheme, Name("knobctrl", k), dial->Tag1());
      store.WriteInteger(scheme, Name("knobctrlno", k), dial->Tag2());
      store.WriteInteger(scheme, Name("knobchannel", k), dial->Tag3());
      store.WriteInteger(scheme, Name("knobpos", k), dial->Position());
      store.WriteInteger(scheme, Name("knobposdef", k), dial->PositionDefault());
      store.WriteInteger("knob", Name("knobctrl", k), dial->Tag1());
      store.WriteInteger("knob", Name("knobctrlno", k), dial->Tag2());
      store.WriteInteger("knob", Name("knobchannel", k), dial->Tag3());
    } else if (auto *label = qobject_cast<QLabel *>(child)) {
      store.WriteString(scheme, Name("knobname", k), label->text());
      store.WriteInteger(scheme, Name("knobnamecolor", k), RgbOfColour(LabelColour(label)));
      store.WriteString("knob", Name("knobname", k), label->text());
      store.WriteInteger("knob", Name("knobnamecolor", k), RgbOfColour(LabelColour(label)));
    }
  }
  SetMarker(button, true);
}

void TForm1::SelectScheme(const QString &number) {
  const QString scheme = "scheme" + number;
  SettingsStore &store = *Settings_;
  // The scheme's device by its name, which waits for it when it is away; schemes recorded before
  // names were kept name a list entry.
  const QString deviceName = store.ReadString(scheme, "midioutname", QString());
  if (!deviceName.isEmpty()) {
    ChooseOutput({deviceName, store.ReadInteger(scheme, "midiout", 0)});
  } else {
    midiout->setCurrentIndex(store.ReadInteger(scheme, "midiout", 0));
    midioutChange(midiout);
  }
  channel->setCurrentIndex(store.ReadInteger(scheme, "ch", 0));
  store.WriteInteger("setup", "ch", channel->currentIndex());
  for (QObject *child : kelvanepanel->children()) {
    const int k = child->property("Tag").toInt();
    if (k == 0) continue;
    if (auto *dial = qobject_cast<tknob *>(child)) {
      dial->SetTag1(ToWord(store.ReadInteger(scheme, Name("knobctrl", k), dial->Tag1())));
      dial->SetTag2(ToWord(store.ReadInteger(scheme, Name("knobctrlno", k), dial->Tag2())));
      dial->SetTag3(ToWord(store.ReadInteger(scheme, Name("knobchannel", k), dial->Tag3())));
      dial->SetPosition(ToWord(store.ReadInteger(scheme, Name("knobpos", k), dial->Position())));
      dial->SetPositionDefault(
          ToWord(store.ReadInteger(scheme, Name("knobposdef", k), dial->PositionDefault())));
      store.WriteInteger("knob", Name("knobctrl", k), dial->Tag1());
      store.WriteInteger("knob", Name("knobctrlno", k), dial->Tag2());
      store.WriteInteger("knob", Name("knobchannel", k), dial->Tag3());
    } else if (auto *label = qobject_cast<QLabel *>(child)) {
      label->setText(store.ReadString(scheme, Name("knobname", k), "knob"));
      label->adjustSize();
      QPalette palette = label->palette();
      palette.setColor(QPalette::WindowText,
                       ColourOfRgb(store.ReadInteger(scheme, Name("knobnamecolor", k),
                                                     RgbOfColour(LabelColour(label)))));
      label->setPalette(palette);
      store.WriteString("knob", Name("knobname", k), label->text());
      store.WriteInteger("knob", Name("knobnamecolor", k), RgbOfColour(LabelColour(label)));
    }
  }
}

void TForm1::s121Click(QObject *Sender) {
  const QString caption = QString::number(Sender->property("Tag").toInt());
  for (QPushButton *button : schemepanel->findChildren<QPushButton *>())
    if (button->text() == caption) Button33MouseUp(button, mbLeft, TShiftState(), 0, 0);
}
