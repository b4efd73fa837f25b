// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The window's controls: names, captions, hints, initial values, sizes and places (pixels at
// 96 dpi), and the binding of every control event to its handler.

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTabWidget>

#include "DragTweak.h"
#include "KnobArt.h"
#include "MIDIappUtil.h"
#include "MidiBackends.h"
#include "MidiIn.h"
#include "MidiOut.h"
#include "MouseUpButton.h"
#include "RadioGroup.h"
#include "Unit1.h"
#include "WindowTexts.h"
#include "knob.h"

namespace {

const QColor kPanelColour(0xFA, 0xFA, 0xFF);
const QColor kLime(0, 255, 0);

struct KnobPlace {
  int x, y, labelX, labelY;
};
constexpr std::array<KnobPlace, 22> kKnobPlaces{{
    {8, 15, 7, 3},      {48, 15, 48, 3},    {88, 15, 86, 3},    {128, 15, 127, 3},
    {180, 15, 178, 3},  {220, 15, 219, 3},  {260, 15, 257, 3},  {300, 15, 298, 3},
    {356, 15, 353, 3},  {396, 15, 394, 3},  {436, 15, 432, 3},  {476, 15, 473, 3},
    {21, 57, 18, 45},   {61, 57, 59, 45},   {101, 57, 97, 45},  {141, 57, 138, 45},
    {193, 57, 189, 45}, {233, 57, 230, 45}, {273, 57, 268, 45}, {313, 57, 309, 45},
    {369, 57, 364, 45}, {409, 57, 405, 45},
}};

// Component number of the snapshot button with caption 1..32 (top row, then bottom row).
constexpr std::array<int, 32> kSnapshotButtonOfCaption{1,  4,  7,  8,  15, 16, 11, 12, 17, 20, 23,
                                                       24, 31, 32, 27, 28, 2,  3,  6,  5,  14, 13,
                                                       10, 9,  18, 19, 22, 21, 30, 29, 26, 25};

QFrame *Panel(QWidget *parent, const char *name, const QRect &place, const QColor &colour) {
  auto *panel = new QFrame(parent);
  panel->setObjectName(name);
  panel->setGeometry(place);
  panel->setAutoFillBackground(true);
  QPalette palette = panel->palette();
  palette.setColor(QPalette::Window, colour);
  panel->setPalette(palette);
  return panel;
}

QLabel *Label(QWidget *parent, const QString &caption, int x, int y) {
  auto *label = new QLabel(caption, parent);
  label->move(x, y);
  label->adjustSize();
  return label;
}

void SetTextColour(QWidget *widget, const QColor &colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, colour);
  palette.setColor(QPalette::Text, colour);
  palette.setColor(QPalette::ButtonText, colour);
  widget->setPalette(palette);
}

void SetBoldSize(QWidget *widget, bool bold, int pointSize) {
  QFont font = widget->font();
  font.setBold(bold);
  if (pointSize > 0) font.setPointSize(pointSize);
  widget->setFont(font);
}

QComboBox *DropDownList(QWidget *parent, const char *name, const QRect &place,
                        const QStringList &items, const char *hint) {
  auto *box = new QComboBox(parent);
  box->setObjectName(name);
  box->setGeometry(place);
  box->addItems(items);
  box->setToolTip(hint);
  return box;
}

void BlackLimeList(QComboBox *box, bool bold) {
  box->setStyleSheet(QStringLiteral("QComboBox { background: black; color: lime; %1 }"
                                    "QComboBox QAbstractItemView { background: black; "
                                    "color: lime; selection-background-color: #004000; }")
                         .arg(bold ? "font-weight: bold;" : ""));
}

// A thin dark-blue divider on the knob page.
void Divider(QWidget *parent, int x, int y, int w, int h) {
  auto *line = new QFrame(parent);
  line->setGeometry(x, y, w, h);
  line->setAutoFillBackground(true);
  QPalette palette = line->palette();
  palette.setColor(QPalette::Window, QColor(0, 0, 0x80));
  line->setPalette(palette);
}

}  // namespace

void TForm1::CreateControls() {
  CreatePages();
  CreateKnobPage();
  CreateKeyboardPage();
  CreateSysexPage();
  CreateSetupPage();
  CreateAboutPage();
  CreateSnapshotPanel();
  CreateSchemePanel();
  CreateStatusBar();
  CreatePopupMenu();
  CreateTwoWayControls();
}

void TForm1::CreatePages() {
  PageControl1 = new QTabWidget(this);
  PageControl1->setObjectName("PageControl1");
  PageControl1->setGeometry(0, 0, 529, 123);
  PageControl1->setFocusPolicy(Qt::NoFocus);
  struct Page {
    QWidget **sheet;
    const char *name;
    const char *caption;
  };
  for (const Page &page :
       {Page{&TabSheet1, "TabSheet1", "Kelvane"}, Page{&TabSheet2, "TabSheet2", "Keyboard"},
        Page{&TabSheet4, "TabSheet4", "SyeEX"}, Page{&TabSheet3, "TabSheet3", "Setup"},
        Page{&TabSheet5, "TabSheet5", "About"}}) {
    *page.sheet = new QWidget;
    (*page.sheet)->setObjectName(page.name);
    PageControl1->addTab(*page.sheet, page.caption);
  }

  // The global channel controls float in the free right-hand part of the tab strip.
  kchannel = new QCheckBox("knob channel", this);
  kchannel->setObjectName("kchannel");
  kchannel->setGeometry(344, 1, 118, 17);
  kchannel->setToolTip(hints::kKchannel);
  kchannel->setFocusPolicy(Qt::NoFocus);
  channel = DropDownList(this, "channel", QRect(468, 0, 56, 19), ChannelItems(), hints::kChannel);
  BlackLimeList(channel, true);
  channel->setFocusPolicy(Qt::NoFocus);
  channel->setMaxVisibleItems(20);
}

void TForm1::CreateKnobPage() {
  auto *page = new QVBoxLayout(TabSheet1);
  page->setContentsMargins(0, 0, 0, 0);
  kelvanepanel = Panel(TabSheet1, "kelvanepanel", QRect(), kPanelColour);
  kelvanepanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  page->addWidget(kelvanepanel);

  for (int k = 1; k <= 22; ++k) {
    const KnobPlace &at = kKnobPlaces[k - 1];
    auto *label = Label(kelvanepanel, QStringLiteral("knob %1").arg(k), at.labelX, at.labelY);
    label->setObjectName(QStringLiteral("Label%1").arg(k));
    label->setProperty("Tag", k);
    SetBoldSize(label, true, 7);
    label->adjustSize();
    knobLabel[k - 1] = label;

    auto *dial = new tknob(kelvanepanel);
    dial->setObjectName(QStringLiteral("knob%1").arg(k));
    dial->move(at.x, at.y);
    dial->SetTag(k);
    dial->SetMax(127);
    dial->SetTag1(192);
    dial->SetAxis(axHorizontal);
    dial->setToolTip(hints::kBankKnob);
    dial->SetNameLabel(label);
    knob[k - 1] = dial;
  }
  // Group dividers under the labels, and separators between the groups.
  for (int x : {5, 177, 352}) Divider(kelvanepanel, x, 13, 150, 2);
  for (int x : {17, 189}) Divider(kelvanepanel, x, 55, 150, 2);
  Divider(kelvanepanel, 364, 55, 80, 2);
  for (int x : {170, 345}) Divider(kelvanepanel, x, 3, 1, 86);
  Divider(kelvanepanel, 462, 45, 1, 44);

  speedLabel = Label(kelvanepanel, "speed", 473, 47);
  speedLabel->setObjectName("speedLabel");
  SetBoldSize(speedLabel, true, 7);
  SetTextColour(speedLabel, QColor(0xFF, 0x80, 0x00));
  speedLabel->adjustSize();
  speed = new tknob(kelvanepanel);
  speed->setObjectName("speed");
  speed->move(474, 60);
  speed->SetMax(48);
  speed->SetPosition(6);
  speed->SetPositionDefault(6);
  speed->setToolTip(hints::kSpeed);
  speed->SetNameLabel(speedLabel);
}

void TForm1::CreateKeyboardPage() {
  keyboardpanel = Panel(TabSheet2, "keyboardpanel", QRect(0, 0, 262, 96), kPanelColour);
  keyboardpanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  struct Box {
    TDragTweak **box;
    const char *name;
    const char *caption;
    QStringList items;
    int positionDefault;
    const char *hint;
  };
  const Box boxes[] = {
      {&vel, "vel", "Velocity", {}, 90, hints::kVel},
      {&velrnd, "velrnd", "Velocity Random", {}, 20, hints::kVelrnd},
      {&playmode, "playmode", "Playmode", PlaymodeItems(), 90, hints::kPlaymode},
      {&interval, "interval", "Interval", IntervalItems(), 20, hints::kInterval},
  };
  int y = 4;
  for (const Box &b : boxes) {
    QLabel *label = Label(keyboardpanel, b.caption, 8, y + 3);
    auto *box = new TDragTweak(keyboardpanel);
    box->SetNameLabel(label);
    box->SetTabStop(true);  // Tab reaches the boxes and the knobs of the page
    box->setObjectName(b.name);
    box->setGeometry(110, y, 140, 20);
    box->SetItems(b.items);
    box->SetPositionDefault(b.positionDefault);
    box->setToolTip(b.hint);
    *b.box = box;
    y += 23;
  }

  kbpanel = Panel(TabSheet2, "kbpanel", QRect(264, 0, 259, 96), kPanelColour);
  kbpanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  const char *captions[] = {"Pitch Bend", "Tone", "Modulation", "PolyAft", "ChanAft"};
  for (int i = 0; i < 5; ++i) {
    int x = 8 + i * 50;
    auto *label = Label(kbpanel, captions[i], x, 20);
    SetBoldSize(label, true, 7);
    SetTextColour(label, QColor(0xFF, 0x80, 0x00));
    label->adjustSize();
    label->move(x + 15 - label->width() / 2, 20);
    auto *dial = new tknob(kbpanel);
    dial->setObjectName(QStringLiteral("tknob%1").arg(i + 1));
    dial->move(x, 38);
    dial->SetMax(127);
    dial->setToolTip(hints::kSpeed);
    dial->SetNameLabel(label);
    tknobs[i] = dial;
  }
  tknobs[0]->SetPosition(64);
  tknobs[0]->SetPositionDefault(64);
}

void TForm1::CreateSysexPage() {
  Panel1 = Panel(TabSheet4, "Panel1", QRect(0, 0, 523, 96), kPanelColour);
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  auto button = [this](const char *name, const char *caption, const QRect &place) {
    auto *b = new QPushButton(caption, Panel1);
    b->setObjectName(name);
    b->setGeometry(place);
    return b;
  };
  Sendbtn = button("Sendbtn", "Send SysEx File..", QRect(16, 12, 160, 25));
  GetBtn = button("GetBtn", "Receive SysEx..", QRect(192, 12, 160, 25));
  doneBTN = button("doneBTN", "click here when done receiving SysEX", QRect(16, 52, 336, 25));
  SetBoldSize(Sendbtn, true, 0);
  SetBoldSize(GetBtn, true, 0);
  Sendbtn->setToolTip(hints::kSendbtn);
  GetBtn->setToolTip(hints::kGetBtn);
  doneBTN->setEnabled(false);
}

void TForm1::CreateSetupPage() {
  setpanel = Panel(TabSheet3, "setpanel", QRect(0, 0, 523, 96), kPanelColour);
  setpanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Label(setpanel, "MIDI output", 8, 8);
  midiout = DropDownList(setpanel, "midiout", QRect(74, 5, 180, 19), {}, hints::kMidiout);
  Label(setpanel, "MIDI input", 8, 31);
  midiin = DropDownList(setpanel, "midiin", QRect(74, 28, 180, 19), {}, hints::kMidiin);
  for (QComboBox *box : {midiout, midiin}) {
    BlackLimeList(box, false);
    SetBoldSize(box, false, 7);
    box->setMaxVisibleItems(20);
  }
  midihelp = new QLabel(setpanel);
  midihelp->setObjectName("midihelp");
  midihelp->setGeometry(8, 3, 250, 46);
  midihelp->setWordWrap(true);
  midihelp->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  SetBoldSize(midihelp, false, 7);
  midihelp->setAutoFillBackground(true);  // over the lists' captions too
  midihelp->hide();

  fontbtn = new QPushButton("Font..", setpanel);
  fontbtn->setObjectName("fontbtn");
  fontbtn->setGeometry(8, 56, 64, 22);
  fontbtn->setToolTip(hints::kFontbtn);
  showhint = new QCheckBox("Show Hint", setpanel);
  showhint->setObjectName("showhint");
  showhint->setGeometry(8, 78, 90, 17);
  showhint->setChecked(true);
  showhint->setToolTip(hints::kShowhint);
  pole = new TRadioGroup("KnobPole", {" EW", " NS"}, setpanel);
  pole->setObjectName("pole");
  pole->setGeometry(100, 50, 70, 44);
  pole->SetItemIndex(0);
  pole->setToolTip(hints::kPole);
  QStringList services = MidiBackendApis();
  services.removeAll(QStringLiteral("loopback"));  // for tests only
  midiapi = DropDownList(setpanel, "midiapi", QRect(216, 72, 42, 19), services, hints::kMidiapi);
  midiapi->setAccessibleName("MIDI service");
  midiapi->view()->setMinimumWidth(80);
  BlackLimeList(midiapi, false);
  SetBoldSize(midiapi, false, 7);
  // A narrow arrow leaves the short service names room.
  midiapi->setStyleSheet(midiapi->styleSheet() +
                         QStringLiteral("QComboBox { padding-left: 2px; }"
                                        "QComboBox::drop-down { width: 7px; }"));

  knobsetup = new QGroupBox("Knob Setup", setpanel);
  knobsetup->setObjectName("knobsetup");
  knobsetup->setGeometry(262, 2, 256, 92);
  knobbox = DropDownList(knobsetup, "knobbox", QRect(8, 16, 72, 19), {}, hints::kKnobbox);
  knobchannel = DropDownList(knobsetup, "knobchannel", QRect(86, 16, 60, 19), ChannelItems(),
                             hints::kKnobchannel);
  Label(knobsetup, "name", 8, 43);
  Edit1 = new QLineEdit(knobsetup);
  Edit1->setObjectName("Edit1");
  Edit1->setGeometry(40, 40, 60, 19);
  Edit1->setMaxLength(6);
  Edit1->setToolTip(hints::kEdit1);
  namecolor = new QPushButton("Name Color..", knobsetup);
  namecolor->setObjectName("namecolor");
  namecolor->setGeometry(106, 39, 90, 21);
  namecolor->setToolTip(hints::kNamecolor);
  ctrl = DropDownList(knobsetup, "ctrl", QRect(8, 66, 138, 19), CtrlItems(), hints::kCtrl);
  ctrlno = DropDownList(knobsetup, "ctrlno", QRect(152, 66, 60, 19), {}, hints::kCtrlno);
  for (QComboBox *box : {knobbox, knobchannel, ctrlno}) box->setMaxVisibleItems(20);
}

void TForm1::CreateAboutPage() {
  Memo1 = new QPlainTextEdit(TabSheet5);
  Memo1->setObjectName("Memo1");
  Memo1->setGeometry(8, 6, 497, 81);
  Memo1->setReadOnly(true);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void TForm1::CreateSnapshotPanel() {
  snapshotpanel = Panel(this, "snapshotpanel", QRect(1, 126, 398, 49), Qt::black);
  for (int caption = 1; caption <= 32; ++caption) {
    int number = kSnapshotButtonOfCaption[caption - 1];
    int column = (caption - 1) % 16, row = (caption - 1) / 16;
    auto *button = new TMouseUpButton(QString::number(caption), snapshotpanel);
    button->setObjectName(QStringLiteral("Button%1").arg(number));
    button->setGeometry(3 + column * 20, 2 + row * 16, 20, 16);
    button->setToolTip(hints::kSnapshotButton);
    SetBoldSize(button, false, 7);
    snapshotButton[number - 1] = button;
  }
  auto *caption = Label(snapshotpanel, "Snapshots", 3, 34);
  SetBoldSize(caption, true, 7);
  SetTextColour(caption, kLime);
  caption->adjustSize();

  comkeymode = new TRadioGroup("mode", {" knobs", " notes"}, snapshotpanel);
  comkeymode->setObjectName("comkeymode");
  comkeymode->setGeometry(328, 0, 68, 48);
  comkeymode->SetItemIndex(0);
  comkeymode->setToolTip(hints::kComkeymode);
  comkeymode->setFocusPolicy(Qt::NoFocus);
  SetTextColour(comkeymode, kLime);
  for (int i = 0; i < 2; ++i) {
    comkeymode->Item(i)->setFocusPolicy(Qt::NoFocus);
    SetTextColour(comkeymode->Item(i), kLime);
  }
}

void TForm1::CreateSchemePanel() {
  schemepanel = Panel(this, "schemepanel", QRect(400, 126, 130, 49), Qt::black);
  for (int n = 1; n <= 12; ++n) {
    int column = (n - 1) % 6, row = (n - 1) / 6;
    auto *button = new TMouseUpButton(QString::number(n), schemepanel);
    button->setObjectName(QStringLiteral("Button%1").arg(32 + n));
    button->setProperty("Tag", n);
    button->setGeometry(4 + column * 20, 2 + row * 16, 20, 16);
    button->setToolTip(hints::kSchemeButton);
    SetBoldSize(button, false, 7);
    schemeButton[n - 1] = button;
  }
  auto *caption = Label(schemepanel, "Schemes", 4, 34);
  SetBoldSize(caption, true, 7);
  SetTextColour(caption, Qt::red);
  caption->adjustSize();
}

void TForm1::CreateStatusBar() {
  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName("StatusBar1");
  StatusBar1->setGeometry(0, 176, 529, 19);
  StatusBar1->setSizeGripEnabled(false);
  statusPanel_ = new QLabel(StatusBar1);
  statusPanel_->setObjectName("StatusPanel");
  StatusBar1->addWidget(statusPanel_, 1);
}

void TForm1::CreatePopupMenu() {
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  auto item = [this](const QString &name, const QString &caption, const QKeySequence &keys) {
    auto *action = new QAction(caption, PopupMenu1);
    action->setObjectName(name);
    action->setShortcut(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    // Added to the window as well, so that the shortcut works whether or not the menu shows it.
    addAction(action);
    return action;
  };
  Panic1 = item("Panic1", "Panic!", QKeySequence(Qt::ALT | Qt::Key_Backspace));
  maxx = item("maxx", "All knobs go Max", {});
  Minn = item("Minn", "All knobs go Min", {});
  PopupMenu1->addAction(Panic1);
  PopupMenu1->addSeparator()->setObjectName("N1");
  PopupMenu1->addAction(maxx);
  PopupMenu1->addAction(Minn);
  PopupMenu1->addSeparator()->setObjectName("N2");

  // The snapshot and scheme items are never shown: they only carry their shortcuts.
  for (int tag = 1; tag <= 32; ++tag) {
    ssItem[tag - 1] =
        item(SnapshotItemName(tag), QStringLiteral("ss%1").arg(tag), SnapshotShortcut(tag));
    ssItem[tag - 1]->setProperty("Tag", tag);
  }
  for (int tag = 1; tag <= 12; ++tag) {
    sItem[tag - 1] = item(SchemeItemName(tag), QStringLiteral("s%1").arg(tag),
                          QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_F1 + tag - 1)));
    sItem[tag - 1]->setProperty("Tag", tag);
  }
}

void TForm1::CreateComponents(MidiBackend &backend) {
  knoblist = new TKnobImageList(this);
  knoblist->setObjectName("knoblist");
  MidiOutput1 = new TMidiOutput(backend, this);
  MidiOutput1->setObjectName("MidiOutput1");
  MidiInput1 = new TMidiInput(backend, this);
  MidiInput1->setObjectName("MidiInput1");
  MidiInput1->SetCapacity(2048);
  MidiInput1->SetSysexBufferSize(5120);
  // Each SysEx message takes a buffer of its own until the window has read it, and a program
  // on the same machine (over JACK or ALSA) delivers a dump of hundreds of messages at once:
  // enough buffers for a whole bank of them (512 x 5 KiB).
  MidiInput1->SetSysexBufferCount(512);
  // Short messages come in too: the knobs follow them, learn and the monitor take them.
  MidiInput1->SetSysexOnly(false);
  engine = new TMIDIappUtil(this);
  engine->setObjectName("engine");
  engine->SetChannel(0);
  engine->SetOctave(3);
  engine->SetVelocity(90);
  engine->SetVelRnd(20);
  engine->SetPlaymode(pmNote);
  engine->SetOUTPUT(MidiOutput1);
  engine->SetINPUT(MidiInput1);
  engine->SetPause(false);
  engine->SetSynth(tsJVXP);
  for (tknob *dial : knob) dial->SetiImageList(knoblist);
  speed->SetiImageList(knoblist);
  for (tknob *dial : tknobs) dial->SetiImageList(knoblist);
}
