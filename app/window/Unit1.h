// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

#include "DeviceChoice.h"
#include "ShiftState.h"
#include "SnapshotMorph.h"

class MidiBackend;
class MonitorLog;
class MonitorWindow;
class QDoubleSpinBox;
class QElapsedTimer;
class QTimer;
struct TMyMidiEvent;
class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QKeyEvent;
class QMouseEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTabWidget;
class SettingsStore;
class TDeviceWatch;
class TDragTweak;
class TKnobImageList;
class TMIDIappUtil;
class TMidiInput;
class TMidiOutput;
class TMouseUpButton;
class TRadioGroup;
class TSysExLibrarian;
class tknob;

// Kelvane's one window: the knob page, the keyboard page, the SysEx page, the Setup page and the
// About page, the snapshot and scheme panels, the status bar and the pop-up menu, with every
// handler of the program. The handlers are spread over several files by concern:
//   Unit1.cpp          construction, start-up and shutdown, the handler guard
//   Unit1Layout.cpp    the controls and their places
//   Unit1Settings.cpp  the settings load and save, the Setup page's device, font and hint handlers
//   Unit1Devices.cpp   the device lists, the chosen devices, a device that goes and comes back
//   Unit1Knobs.cpp     the knob bank's messages, "All knobs go Max/Min", "Panic!"
//   Unit1KnobSetup.cpp the knob set-up editors and the page change
//   Unit1Snapshots.cpp snapshots; Unit1Schemes.cpp schemes
//   Unit1Keys.cpp      computer-keyboard control; Unit1Sysex.cpp SysEx file transfer
//   Unit1TwoWay.cpp    the controls of listening to the synth, their settings, the monitor
//   Unit1Follow.cpp    knobs that follow the synth, MIDI learn
//   Unit1Morph.cpp     the glide to a snapshot
//   SysExLibrarian.cpp the SysEx page's pacing, progress, cancel, checks, request and quiet stop
class TForm1 : public QWidget {
 public:
  // `backend` must outlive the window. `settingsFile` names the store's file.
  TForm1(MidiBackend &backend, const QString &settingsFile, QWidget *parent = nullptr);
  // `backend` is asked for once the controls are built, so that a MIDI service still opening
  // (a JACK client takes tens of milliseconds) opens while they are.
  TForm1(const std::function<MidiBackend &()> &backend, const QString &settingsFile,
         QWidget *parent = nullptr);
  ~TForm1() override;

  // --- Start-up and shutdown ---
  void FormCreate(QObject *Sender);
  void FormDestroy(QObject *Sender);
  void TransferSettings(bool Load);

  // --- Setup page ---
  void midioutChange(QObject *Sender);
  void midiinChange(QObject *Sender);
  void midiapiChange(QObject *Sender);
  void fontbtnClick(QObject *Sender);
  void showhintClick(QObject *Sender);
  void poleClick(QObject *Sender);
  void speedMouseUp(QObject *Sender, TMouseButton Button, TShiftState Shift, int X, int Y);

  // --- Knob bank ---
  void knob1MouseMove(QObject *Sender, TShiftState Shift, int X, int Y);
  void knob1MouseEnter(QObject *Sender);
  void TweakKnob(tknob *Knob, bool Down);
  void MinnClick(QObject *Sender);
  void Panic1Click(QObject *Sender);
  // The engine's OnPanic, before its All Sound Off.
  void enginePanic(QObject *Sender);

  // --- Knob set-up page ---
  void knobboxChange(QObject *Sender);
  void ctrlChange(QObject *Sender);
  void ctrlnoChange(QObject *Sender);
  void knobchannelChange(QObject *Sender);
  void Edit1KeyPress(QObject *Sender, QChar &Key);
  void namecolorClick(QObject *Sender);
  void PageControl1Change(QObject *Sender);

  // --- Snapshots and schemes ---
  void Button1MouseUp(QObject *Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void ss321Click(QObject *Sender);
  void Button33MouseUp(QObject *Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void s121Click(QObject *Sender);

  // --- Computer keyboard ---
  void FormKeyDown(QObject *Sender, uint16_t &Key, TShiftState Shift);
  void FormKeyPress(QObject *Sender, QChar &Key);
  void FormKeyUp(QObject *Sender, uint16_t &Key, TShiftState Shift);
  void velMouseUp(QObject *Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void velrndMouseUp(QObject *Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void tknob1MouseMove(QObject *Sender, TShiftState Shift, int X, int Y);
  void tknob2MouseMove(QObject *Sender, TShiftState Shift, int X, int Y);
  void tknob3MouseMove(QObject *Sender, TShiftState Shift, int X, int Y);
  void tknob4MouseMove(QObject *Sender, TShiftState Shift, int X, int Y);
  void tknob5MouseMove(QObject *Sender, TShiftState Shift, int X, int Y);
  void tknob1MouseUp(QObject *Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void tknob3MouseUp(QObject *Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void tknob4MouseUp(QObject *Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void tknob5MouseUp(QObject *Sender, TMouseButton Button, TShiftState Shift, int X, int Y);

  // --- SysEx page ---
  void SendbtnClick(QObject *Sender);
  void GetBtnClick(QObject *Sender);
  void doneBTNClick(QObject *Sender);
  void MidiInput1MidiInput(QObject *Sender);

  // --- Two-way with the synth ---
  void followClick(QObject *Sender);
  void morphtimeChange(QObject *Sender);
  void learnbtnClick(QObject *Sender);
  void LearnCancelClick(QObject *Sender);
  void Monitor1Click(QObject *Sender);
  // A short message from the input port: to the monitor, to MIDI learn and to the knobs.
  void ShortMessageArrived(const TMyMidiEvent &event);
  // Every message the input port delivers is shown in the monitor.
  void MonitorReceived(const TMyMidiEvent &event);
  void MidiOutput1Sent(const uint8_t *bytes, size_t length);
  // Alt+click on a recorded snapshot: the knobs glide to it.
  void StartMorph(const QString &section);
  void EndMorph();
  void MorphStep();
  bool Morphing() const { return morph_.Running(); }
  bool Learning() const { return learnKnob_ > 0; }
  MonitorLog &MonitorHistory() { return *monitorLog_; }

  // --- What handlers and tests share ---
  QString StatusText() const;
  void SetStatusText(const QString &text);
  // The application's hint switch: tooltips show only while it is on.
  bool ShowHints() const { return showHints_; }
  SettingsStore &Settings() { return *Settings_; }
  // Runs `handler` as every event handler of the window runs: its settings writes reach the disk
  // before it returns, and an error it raises ends it and shows the error box.
  void Guard(const std::function<void()> &handler);

  // The window's controls, by their names.
  QTabWidget *PageControl1 = nullptr;
  QWidget *TabSheet1 = nullptr, *TabSheet2 = nullptr, *TabSheet3 = nullptr, *TabSheet4 = nullptr,
          *TabSheet5 = nullptr;
  QCheckBox *kchannel = nullptr;
  QComboBox *channel = nullptr;
  QFrame *snapshotpanel = nullptr, *schemepanel = nullptr;
  QStatusBar *StatusBar1 = nullptr;
  QFrame *kelvanepanel = nullptr;
  std::array<tknob *, 22> knob{};        // knob[0] is knob1
  std::array<QLabel *, 22> knobLabel{};  // the name label with Tag k is knobLabel[k - 1]
  tknob *speed = nullptr;
  QLabel *speedLabel = nullptr;
  QFrame *keyboardpanel = nullptr, *kbpanel = nullptr;
  TDragTweak *vel = nullptr, *velrnd = nullptr, *playmode = nullptr, *interval = nullptr;
  std::array<tknob *, 5> tknobs{};  // tknobs[0] is tknob1
  QFrame *Panel1 = nullptr;
  QPushButton *Sendbtn = nullptr, *GetBtn = nullptr, *doneBTN = nullptr;
  QFrame *setpanel = nullptr;
  QComboBox *midiout = nullptr, *midiin = nullptr;
  QComboBox *midiapi = nullptr;  // the MIDI service, used from the next start
  QLabel *midihelp = nullptr;    // in the lists' place when there is no device
  QGroupBox *knobsetup = nullptr;
  QComboBox *knobbox = nullptr, *knobchannel = nullptr, *ctrl = nullptr, *ctrlno = nullptr;
  QLineEdit *Edit1 = nullptr;
  QPushButton *namecolor = nullptr, *fontbtn = nullptr;
  QCheckBox *showhint = nullptr;
  TRadioGroup *pole = nullptr, *comkeymode = nullptr;
  QPlainTextEdit *Memo1 = nullptr;
  std::array<TMouseUpButton *, 32> snapshotButton{};  // snapshotButton[0] is Button1
  std::array<TMouseUpButton *, 12> schemeButton{};    // schemeButton[0] is Button33
  QMenu *PopupMenu1 = nullptr;
  QAction *Panic1 = nullptr, *maxx = nullptr, *Minn = nullptr;
  std::array<QAction *, 32> ssItem{};   // ssItem[0] is ss11 (Tag 1)
  std::array<QAction *, 12> sItem{};    // sItem[0] is s1 (Tag 1)
  QCheckBox *follow = nullptr;          // knobs follow the synth
  QDoubleSpinBox *morphtime = nullptr;  // seconds of a glide to a snapshot
  QPushButton *learnbtn = nullptr;      // MIDI learn for the chosen knob
  QAction *Monitor1 = nullptr, *LearnCancel = nullptr;
  MonitorWindow *monitor = nullptr;  // made when first opened

  // The non-visual components.
  TMIDIappUtil *engine = nullptr;
  TMidiOutput *MidiOutput1 = nullptr;
  TMidiInput *MidiInput1 = nullptr;
  TKnobImageList *knoblist = nullptr;
  TSysExLibrarian *librarian_ = nullptr;  // the SysEx page's librarian controls, a child

 protected:
  void closeEvent(QCloseEvent *event) override;
  void contextMenuEvent(QContextMenuEvent *event) override;
  bool eventFilter(QObject *watched, QEvent *event) override;

 private:
  // Unit1Layout.cpp
  void CreateControls();
  void CreatePages();
  void CreateKnobPage();
  void CreateKeyboardPage();
  void CreateSysexPage();
  void CreateSetupPage();
  void CreateAboutPage();
  void CreateSnapshotPanel();
  void CreateSchemePanel();
  void CreateStatusBar();
  void CreatePopupMenu();
  void CreateComponents(MidiBackend &backend);
  void BindEvents();

  // Unit1Devices.cpp
  void WatchDevices(MidiBackend &backend);
  void FillDeviceLists();
  void ShowDevices(QComboBox *list, const QStringList &names, bool withVirtualPort);
  void ShowDeviceHelp();
  ChosenDevice SelectedOutput() const;
  ChosenDevice SelectedInput() const;
  void UseOutput(const ChosenDevice &device);
  void UseInput(const ChosenDevice &device);
  void ChooseOutput(const ChosenDevice &device);
  void ChooseInput(const ChosenDevice &device);
  void OutputGone();
  // The output port is about to close or change: a SysEx transfer on it stops now.
  void StopOutputTransfer(const QString &why);
  void InputGone();
  void RefreshDeviceLists();
  void FollowChosenOutput();
  void FollowChosenInput();

  // Unit1Settings.cpp
  void LoadSettings();
  void SaveSettings();
  void LoadStep(const std::function<void()> &step);
  void OpenStoredOutput();
  void OpenStoredInput();
  void ApplyFontFace(const QString &face);
  void ShowAboutText();

  // Unit1Keys.cpp: key preview. Sees each key event once, before the focused control; returns
  // true when the event is to go no further.
  bool PreviewKey(QObject *watched, QKeyEvent *event);
  // Whether `event` is the key of one of the window's menu shortcuts.
  bool IsWindowShortcut(const QKeyEvent &event) const;
  // Unit1.cpp: a right-button release reaches its control, and then opens the pop-up menu.
  bool DeliverReleaseThenPopup(QObject *window, QMouseEvent *event);
  // What the computer keyboard does now, from the active page and `comkeymode`.
  enum class TKeyMode { None, Knobs, Notes };
  TKeyMode KeyMode() const;
  // The engine's Playmode and Channel from the keyboard page's boxes and `channel`.
  void PushKeyboardState();
  // The window lost the keyboard (deactivated, hidden, closed): every held note key gets its
  // note-offs and a held pedal its release, since their key-ups will go elsewhere.
  void ReleaseHeldKeys();
  // The same when the page or the mode has just left note mode.
  void ReleaseHeldKeysOutsideNoteMode();
  void BindKeyboardEvents();
  // The input port lost data (its ring or its buffers were full).
  void MidiInput1Overflow(QObject *Sender);
  void MidiOutput1midioutput(QObject *Sender);
  // One message of a keyboard-page knob on the global channel.
  void SendKeyboardKnob(TShiftState Shift, uint8_t base, uint8_t data1, uint8_t data2);

  // Unit1Sysex.cpp
  QByteArray ReadSysexFile(const QString &name) const;
  void ShowReceivedCount();

  // Unit1TwoWay.cpp, Unit1Follow.cpp, Unit1Morph.cpp
  void CreateTwoWayControls();
  void BindTwoWayEvents();
  void LoadTwoWaySettings();
  void SaveMonitorPlace();
  // At shutdown: the monitor keeps its place and goes with the window.
  void CloseMonitor();
  void FollowBankKnobs(uint8_t status, uint8_t data1, uint8_t data2);
  void FollowKeyboardKnobs(uint8_t status, uint8_t data1, uint8_t data2);
  bool LearnFrom(uint8_t status, uint8_t data1);
  void StopLearning(const QString &status);
  // The input is started when it opens: knobs follow, learn and the monitor hear it at once.
  void StartListening();
  // The user turned `dial` (drag, key, menu): it glides no more.
  void KnobTaken(const tknob *dial);

  // Knob bank, set-up page, snapshots and schemes
  tknob *BankKnob(int tag) const;
  QLabel *NameLabel(int tag) const;
  int KnobChannelIndex(const tknob *dial) const;
  int ChosenKnob() const;
  void RecordSnapshot(QPushButton *button);
  void RecallSnapshot(const QString &section);
  void RecordScheme(QPushButton *button);
  void SelectScheme(const QString &number);

  QString settingsFile_;
  std::unique_ptr<SettingsStore> Settings_;
  MidiBackend *backend_ = nullptr;
  TDeviceWatch *deviceWatch_ = nullptr;
  // The devices as the lists show them, and the ones the musician chose: kept while they are
  // away, and used again when they are back.
  QStringList outputNames_, inputNames_;
  QString virtualPortName_;
  ChosenDevice chosenOutput_, chosenInput_;
  bool outputAway_ = false, inputAway_ = false;
  QLabel *statusPanel_ = nullptr;
  bool showHints_ = true;
  bool loaded_ = false;            // the start-up load ran to its end
  bool destroyed_ = false;         // FormDestroy ran
  bool popupOnRightClick_ = true;  // the pop-up menu opens by right-click on the knob page only
  int guardDepth_ = 0;
  QString firstError_;  // the first error of the outermost handler run
  QByteArray receiveBuffer_;
  bool receiveLost_ = false;  // input was lost while these bytes came: the dump is incomplete
  QString targetFileName_;
  bool sysexReceiving_ = false;  // "Receive SysEx.." was clicked: SysEx goes to the dump
  std::unique_ptr<MonitorLog> monitorLog_;
  int learnKnob_ = 0;  // the knob MIDI learn is for, 0 while not learning
  SnapshotMorph morph_;
  QTimer *morphTimer_ = nullptr;
  std::unique_ptr<QElapsedTimer> morphClock_;
  bool morphSending_ = false;  // the glide itself is moving a knob
};
