// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLineOptions.h"

#include <QCommandLineParser>

#include "MidiBackends.h"
#include "SettingsStore.h"

namespace {

// The options Qt's window system and widget layers take for themselves. The command line is read
// before they exist (so that --help and --version need no display); the window takes them, keeps
// them out of its help text, and leaves them in place for QApplication to use.
constexpr CommandLineOptionRow QtOption(const char *name, const char *valueName) {
  return {name, nullptr, valueName, "", kWindowMode, true};
}

// In each mode the options show in --help in this order.
constexpr CommandLineOptionRow kOptions[] = {
    // The window.
    {"version", "v", nullptr, "Displays version information.", kWindowMode},
    {"settings", nullptr, "FILE", "Use FILE as the settings store instead of {settings}.",
     kWindowMode},
    {"midi-api", nullptr, "NAME",
     "Use the MIDI service NAME ({services}). By default the first system service in that list "
     "that works; rtmidi-jack (RtMidi's own JACK client) and loopback (an in-process service for "
     "tests) only when asked for.",
     kWindowMode},
    QtOption("platform", "VALUE"),
    QtOption("platformpluginpath", "VALUE"),
    QtOption("platformtheme", "VALUE"),
    QtOption("plugin", "VALUE"),
    QtOption("qwindowgeometry", "VALUE"),
    QtOption("qwindowicon", "VALUE"),
    QtOption("qwindowtitle", "VALUE"),
    QtOption("session", "VALUE"),
    QtOption("display", "VALUE"),
    QtOption("geometry", "VALUE"),
    QtOption("name", "VALUE"),
    QtOption("style", "VALUE"),
    QtOption("stylesheet", "VALUE"),
    QtOption("reverse", nullptr),
    QtOption("widgetcount", nullptr),
    QtOption("nograb", nullptr),
    QtOption("dograb", nullptr),
    QtOption("sync", nullptr),
    // kelvane sysex send
    {"to", nullptr, "DEVICE", "The MIDI output: its number or its name (see kelvane devices).",
     kSysexSendMode},
    {"pause", nullptr, "MS", "Pause MS milliseconds after each message (default 0).",
     kSysexSendMode},
    {"wire-speed", nullptr, nullptr, "Send no faster than a MIDI cable carries (31,250 bit/s).",
     kSysexSendMode},
    {"full-speed", nullptr, nullptr,
     "Send at full speed even to a hardware port (one that stands for a MIDI cable and is paced "
     "at wire speed): for a device known to be fast.",
     kSysexSendMode},
    {"force", nullptr, nullptr, "Send the file even when its check finds faults.", kSysexSendMode},
    // kelvane sysex receive
    {"from", nullptr, "DEVICE", "The MIDI input: its number or its name (see kelvane devices).",
     kSysexReceiveMode},
    {"request", nullptr, "FILE",
     "Send the dump request in FILE (a small .syx file, or hex bytes) when recording starts; "
     "needs --to.",
     kSysexReceiveMode},
    {"to", nullptr, "DEVICE", "The MIDI output the request goes to.", kSysexReceiveMode},
    {"quiet-stop", nullptr, "S",
     "Stop S seconds after the last byte, once something has arrived (default 2; 0: only the "
     "time limit or Ctrl+C stops).",
     kSysexReceiveMode},
    {"timeout", nullptr, "S",
     "Stop after S seconds in all (default 60; 0: no limit). Reaching it with nothing received, "
     "or while the dump still arrives, is a failure.",
     kSysexReceiveMode},
    // Every command.
    {"help", "h", nullptr, "Displays help on this command.", kCommandModes},
    {"midi-api", nullptr, "NAME", "Use the MIDI service NAME ({services}).", kCommandModes},
    // The window's option is taken too, so that one line of options serves every mode.
    {"settings", nullptr, "FILE", "Not used here.", kCommandModes, true},
};

QString FilledHelp(const char *help) {
  QString text = QString::fromUtf8(help);
  if (text.contains(QStringLiteral("{services}")))
    text.replace(QStringLiteral("{services}"), MidiBackendApis().join(QStringLiteral(", ")));
  if (text.contains(QStringLiteral("{settings}")))
    text.replace(QStringLiteral("{settings}"), SettingsStore::DefaultFileName());
  return text;
}

QStringList NamesOf(const CommandLineOptionRow &row) {
  QStringList names;
  if (row.shortName) names << QString::fromLatin1(row.shortName);
  names << QString::fromLatin1(row.longName);
  return names;
}

}  // namespace

std::span<const CommandLineOptionRow> CommandLineOptionTable() {
  return kOptions;
}

QCommandLineOption ToOption(const CommandLineOptionRow &row) {
  QCommandLineOption option(NamesOf(row), FilledHelp(row.help));
  if (row.valueName) option.setValueName(QString::fromLatin1(row.valueName));
  if (row.hidden) option.setFlags(QCommandLineOption::HiddenFromHelp);
  return option;
}

void AddOptionsOf(QCommandLineParser &parser, CommandLineMode mode) {
  for (const CommandLineOptionRow &row : kOptions)
    if (row.modes & mode) parser.addOption(ToOption(row));
}

bool TakesValue(const QString &argument) {
  const QString name = argument.mid(argument.startsWith(QStringLiteral("--")) ? 2 : 1);
  for (const CommandLineOptionRow &row : kOptions)
    if (row.valueName && NamesOf(row).contains(name)) return true;
  return false;
}

QString MidiApiMistake(const QString &api) {
  if (api.isEmpty() || MidiBackendApis().contains(api)) return {};
  return QStringLiteral("unknown MIDI service \"%1\"; choose one of: %2")
      .arg(api, MidiBackendApis().join(QStringLiteral(", ")));
}

qsizetype FirstBareWord(const QStringList &arguments, qsizetype from) {
  for (qsizetype i = from; i < arguments.size(); ++i) {
    const QString &argument = arguments[i];
    if (!argument.startsWith('-')) return i;
    if (!argument.contains('=') && TakesValue(argument)) ++i;
  }
  return -1;
}
