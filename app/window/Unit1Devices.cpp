// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The Setup page's device lists as the MIDI service has them now: the devices the musician chose,
// kept by name; devices that come and go while Kelvane runs; a chosen device that goes away and
// is used again when it comes back; and a word on the page when there is no device at all.

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QSignalBlocker>

#include "DeviceWatch.h"
#include "Exception.h"
#include "MIDIappUtil.h"
#include "MidiBackends.h"
#include "MidiIn.h"
#include "MidiOut.h"
#include "SettingsStore.h"
#include "SysExLibrarian.h"
#include "Unit1.h"
#include "WindowHelpers.h"
#include "WindowTexts.h"

namespace {

const QString kOutputChangedText =
    QStringLiteral("The output stopped the SysEx transfer (Panic! or a change of device)");

// The list entry of the device `id` (-1: the virtual port), or -1 when the list has none.
int EntryOf(const QComboBox *list, std::optional<int> id) {
  return id ? list->findData(*id) : -1;
}

}  // namespace

void TForm1::WatchDevices(MidiBackend &backend) {
  backend_ = &backend;
  deviceWatch_ = new TDeviceWatch(backend, this);
  // Nobody asked for this look: what goes wrong in it is told in the status bar, not in a box
  // that would stop the window until somebody answers it.
  deviceWatch_->OnChange = [this] {
    Guard([this] {
      try {
        RefreshDeviceLists();
      } catch (const Exception &e) {
        SetStatusText(e.Message());
      }
    });
  };
}

void TForm1::FillDeviceLists() {
  engine->ListOutputs(outputNames_);
  engine->ListInputs(inputNames_);
  virtualPortName_ = MidiOutput1->VirtualPortName();
  ShowDevices(midiout, outputNames_, !virtualPortName_.isEmpty());
  ShowDevices(midiin, inputNames_, false);
  ShowDeviceHelp();
  deviceWatch_->SetLooking(!backend_->Answers());  // a server started later is found
}

void TForm1::ShowDevices(QComboBox *list, const QStringList &names, bool withVirtualPort) {
  QSignalBlocker quiet(list);
  list->clear();
  for (int id = 0; id < names.size(); ++id) list->addItem(names[id], id);
  // Last, so that entry i stays device i.
  if (withVirtualPort) list->addItem(kVirtualPortEntry, -1);
  list->setCurrentIndex(-1);  // a list shows no device until one is chosen or opened
  list->view()->setMinimumWidth(list->view()->sizeHintForColumn(0) + 8);
}

// With no device in either direction the lists give way to what the services answered and what
// the musician can do about it.
void TForm1::ShowDeviceHelp() {
  const bool noDevice = outputNames_.isEmpty() && inputNames_.isEmpty();
  midiout->setVisible(!noDevice);
  midiin->setVisible(!noDevice);
  midihelp->setVisible(noDevice);
  if (!noDevice) return;
  QStringList lines{MidiServiceTitle(backend_->Api()) + QStringLiteral(": ") +
                    (backend_->Answers() ? QStringLiteral("no device of another program")
                                         : MidiServiceAbsence(backend_->Api()))};
  lines << backend_->TriedServices() << kNoDeviceAdvice;
  midihelp->setText(lines.join('\n'));
  midihelp->setToolTip(midihelp->text());
  midihelp->setAccessibleName(midihelp->text());
}

ChosenDevice TForm1::SelectedOutput() const {
  const int entry = midiout->currentIndex();
  if (entry < 0) return {};
  const int id = midiout->itemData(entry).toInt();
  return {id == -1 ? virtualPortName_ : outputNames_.value(id), id};
}

ChosenDevice TForm1::SelectedInput() const {
  const int entry = midiin->currentIndex();
  if (entry < 0) return {};
  return {inputNames_.value(entry), entry};
}

// Opens the chosen output where it is now, or waits for it when no device of its name is
// there. A number stored without a name is taken as it is (the port refuses one that names no
// device), and the device's name is kept from then on.
void TForm1::UseOutput(const ChosenDevice &device) {
  chosenOutput_ = device;
  const std::optional<int> id = FindChosenDevice(outputNames_, virtualPortName_, device);
  StopOutputTransfer(kOutputChangedText);
  if (!id && !device.name.isEmpty()) {
    midiout->setCurrentIndex(-1);
    MidiOutput1->ClosePort();
    OutputGone();
    return;
  }
  outputAway_ = false;
  midiout->setCurrentIndex(EntryOf(midiout, id));
  MidiOutput1->ClosePort();
  MidiOutput1->SetDeviceID(id.value_or(device.number));
  if (id) chosenOutput_ = SelectedOutput();
  MidiOutput1->OpenPort();
  if (librarian_) librarian_->OutputChanged();
}

void TForm1::UseInput(const ChosenDevice &device) {
  chosenInput_ = device;
  const std::optional<int> id = FindChosenDevice(inputNames_, QString(), device);
  if (!id && !device.name.isEmpty()) {
    midiin->setCurrentIndex(-1);
    MidiInput1->ClosePort();
    InputGone();
    return;
  }
  inputAway_ = false;
  midiin->setCurrentIndex(EntryOf(midiin, id));
  MidiInput1->ClosePort();
  MidiInput1->SetDeviceID(ToWord(id.value_or(device.number)));
  if (id) chosenInput_ = SelectedInput();
  MidiInput1->OpenPort();
  StartListening();
}

// The musician (or a scheme) chose: used now, and from the next start.
void TForm1::ChooseOutput(const ChosenDevice &device) {
  UseOutput(device);
  Settings_->WriteInteger("setup", "out", chosenOutput_.number);
  Settings_->WriteString("setup", "outname", chosenOutput_.name);
}

void TForm1::ChooseInput(const ChosenDevice &device) {
  UseInput(device);
  Settings_->WriteInteger("setup", "in", chosenInput_.number);
  Settings_->WriteString("setup", "inname", chosenInput_.name);
}

void TForm1::StopOutputTransfer(const QString &why) {
  if (librarian_) librarian_->StopTransfer(why);
}

void TForm1::OutputGone() {
  StopOutputTransfer(kOutputChangedText);
  outputAway_ = true;
  MidiOutput1->DeviceGone();
  SetStatusText(DeviceGoneText(chosenOutput_.name));
  deviceWatch_->SetLooking(true);
}

void TForm1::InputGone() {
  inputAway_ = true;
  try {
    MidiInput1->ClosePort();
  } catch (const Exception &) {
    // Closed all the same; what the service says of a device that is not there tells nothing.
  }
  SetStatusText(DeviceGoneText(chosenInput_.name));
  deviceWatch_->SetLooking(true);
}

// The service says its devices may have changed: the lists follow, the chosen devices keep
// their entries wherever they are now, one that went away is let go, and one that came back is
// opened again.
void TForm1::RefreshDeviceLists() {
  QStringList outputs, inputs;
  engine->ListOutputs(outputs);
  engine->ListInputs(inputs);
  const QString virtualPort = MidiOutput1->VirtualPortName();
  if (outputs != outputNames_ || inputs != inputNames_ || virtualPort != virtualPortName_) {
    outputNames_ = outputs;
    inputNames_ = inputs;
    virtualPortName_ = virtualPort;
    ShowDevices(midiout, outputNames_, !virtualPortName_.isEmpty());
    ShowDevices(midiin, inputNames_, false);
    ShowDeviceHelp();
  }
  // Also when the lists look the same: a synth unplugged and plugged back between two looks
  // leaves the same names, and a port open on the one that went.
  FollowChosenOutput();
  FollowChosenInput();
  deviceWatch_->SetLooking(outputAway_ || inputAway_ || !backend_->Answers());
}

// A chosen device found where it is now, let go when it has gone, and opened again when it is
// back. Devices chosen by a number alone (an entry that named no device) are not followed.
void TForm1::FollowChosenOutput() {
  if (chosenOutput_.name.isEmpty()) return;
  if (!outputAway_ && MidiOutput1->Lost()) OutputGone();
  const std::optional<int> id = FindChosenDevice(outputNames_, virtualPortName_, chosenOutput_);
  if (!id) {
    if (!outputAway_) OutputGone();
    return;
  }
  if (!outputAway_ && MidiOutput1->IsOpen()) {
    midiout->setCurrentIndex(EntryOf(midiout, id));
    chosenOutput_.number = *id;
    MidiOutput1->FollowMovedDevice(*id);
    return;
  }
  const bool wasAway = outputAway_;
  try {
    UseOutput(chosenOutput_);
  } catch (const Exception &) {
    // The device went while we looked (its number is no device any more): the next look.
  }
  if (!MidiOutput1->IsOpen())
    OutputGone();  // listed but not ready (a port still going, a busy device): the next look
  else if (wasAway)
    SetStatusText(DeviceBackText(chosenOutput_.name));
}

void TForm1::FollowChosenInput() {
  if (chosenInput_.name.isEmpty()) return;
  if (!inputAway_ && MidiInput1->Lost()) InputGone();
  const std::optional<int> id = FindChosenDevice(inputNames_, QString(), chosenInput_);
  if (!id) {
    if (!inputAway_) InputGone();
    return;
  }
  if (!inputAway_ && MidiInput1->IsOpen()) {
    midiin->setCurrentIndex(EntryOf(midiin, id));
    chosenInput_.number = *id;
    MidiInput1->FollowMovedDevice(ToWord(*id));
    return;
  }
  const bool wasAway = inputAway_;
  try {
    UseInput(chosenInput_);
  } catch (const Exception &) {
    // The device went while we looked: the next look.
  }
  if (!MidiInput1->IsOpen())
    InputGone();
  else if (wasAway)
    SetStatusText(DeviceBackText(chosenInput_.name));
}
