// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Kelvane's main routine: the command line, the MIDI service, the window and the event loop.

#include <QApplication>
#include <QCommandLineParser>
#include <QScreen>
#include <cstdio>
#include <future>
#include <optional>

#include "Dialogs.h"
#include "FontWarmUp.h"
#include "MidiBackends.h"
#include "QtDialogs.h"
#include "SettingsStore.h"
#include "SignalClose.h"
#include "SysExCommands.h"
#include "TerminationSignals.h"
#include "Unit1.h"
#include "X11AutoRepeat.h"

namespace {

struct Options {
  QString settingsFile;
  QString midiApi;
};

constexpr const char *kVersionText =
    "kelvane " KELVANE_VERSION
    "\n"
    "Copyright (C) 2026 the Kelvane developers\n"
    "License GPL-3.0-or-later: GNU GPL version 3 or later <https://www.gnu.org/licenses/gpl-3.0>.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.\n";

// The options Qt's window system and widget layers take for themselves. The command line is read
// before they exist (so that --help and --version need no display); they are accepted here, kept
// out of the help text, and left in place for QApplication to use.
struct QtGuiOption {
  const char *name;
  bool takesValue;
};
constexpr QtGuiOption kQtGuiOptions[] = {
    {"platform", true},
    {"platformpluginpath", true},
    {"platformtheme", true},
    {"plugin", true},
    {"qwindowgeometry", true},
    {"qwindowicon", true},
    {"qwindowtitle", true},
    {"session", true},
    {"display", true},
    {"geometry", true},
    {"name", true},
    {"style", true},
    {"stylesheet", true},
    {"reverse", false},
    {"widgetcount", false},
    {"nograb", false},
    {"dograb", false},
    {"sync", false},
};

void AddQtGuiOptions(QCommandLineParser &parser) {
  for (const QtGuiOption &qt : kQtGuiOptions) {
    QCommandLineOption option(QString::fromLatin1(qt.name), QString());
    if (qt.takesValue) option.setValueName("VALUE");
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
}

// Reads the command line with no window system: --help, --version and every mistake are answered
// here and end the program, so a terminal without a display (ssh, a package build) gets them too.
Options ParseCommandLine(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  QCommandLineParser parser;
  // Qt's own options are single-dash words ("-platform xcb").
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser.setApplicationDescription(
      "A small desktop MIDI controller: 22 knobs, a computer-keyboard note keyboard, "
      "snapshots, schemes and SysEx file transfer.");
  parser.addHelpOption();
  QCommandLineOption version({"v", "version"}, "Displays version information.");
  QCommandLineOption settings(
      "settings",
      "Use FILE as the settings store instead of " + SettingsStore::DefaultFileName() + ".",
      "FILE");
  QCommandLineOption midiApi(
      "midi-api",
      "Use the MIDI service NAME (" + MidiBackendApis().join(", ") +
          "). By default the first system service in that list that works; rtmidi-jack "
          "(RtMidi's own JACK client) and loopback (an in-process service for tests) only "
          "when asked for.",
      "NAME");
  parser.addOption(version);
  parser.addPositionalArgument(
      "COMMAND",
      "Without a window or display: \"kelvane devices\" lists the MIDI devices; "
      "\"kelvane sysex send FILE\" and \"kelvane sysex receive FILE\" send and record "
      "SysEx files. Each tells its options with --help.",
      "[COMMAND ...]");
  parser.addOption(settings);
  parser.addOption(midiApi);
  AddQtGuiOptions(parser);
  parser.process(app);
  if (parser.isSet(version)) {
    std::fputs(kVersionText, stdout);
    std::exit(0);
  }

  if (!parser.positionalArguments().isEmpty()) {
    std::fprintf(stderr, "kelvane: unknown command \"%s\"; the commands are devices and sysex\n",
                 qPrintable(parser.positionalArguments().constFirst()));
    std::exit(1);
  }
  Options options{parser.value(settings), parser.value(midiApi)};
  if (options.settingsFile.isEmpty()) options.settingsFile = SettingsStore::DefaultFileName();
  if (!options.midiApi.isEmpty() && !MidiBackendApis().contains(options.midiApi)) {
    std::fprintf(stderr, "kelvane: unknown MIDI service \"%s\"; choose one of: %s\n",
                 qPrintable(options.midiApi), qPrintable(MidiBackendApis().join(", ")));
    std::exit(2);
  }
  return options;
}

// Where the first bare word of the command line is (0: none), the values of options skipped.
int FirstBareWord(int argc, char **argv) {
  for (int i = 1; i < argc; ++i) {
    const QString argument = QString::fromLocal8Bit(argv[i]);
    if (!argument.startsWith('-')) return i;
    if (argument.contains('=')) continue;
    const QString name = argument.mid(argument.startsWith("--") ? 2 : 1);
    bool takesValue = name == "settings" || name == "midi-api";
    for (const QtGuiOption &qt : kQtGuiOptions)
      takesValue = takesValue || (qt.takesValue && name == QLatin1String(qt.name));
    if (takesValue) ++i;
  }
  return 0;
}

void CentreOnScreen(QWidget &window) {
  if (QScreen *screen = QGuiApplication::primaryScreen())
    window.move(screen->availableGeometry().center() - window.rect().center());
}

}  // namespace

int main(int argc, char **argv) {
  QCoreApplication::setApplicationName("kelvane");
  QCoreApplication::setApplicationVersion(KELVANE_VERSION);
  if (const int at = FirstBareWord(argc, argv);
      at > 0 && IsCommandWord(QString::fromLocal8Bit(argv[at])))
    return RunCommand(argc, argv, at);
  const Options options = ParseCommandLine(argc, argv);

  CatchTerminationSignals();
  // The service chosen on the Setup page, unless the command line names one. Only peeked at: the
  // window's own store reads the file, and alone sets a damaged one aside and says so. The
  // service opens (a JACK client takes tens of milliseconds) while the window system starts and
  // the window builds its controls.
  const QString api = options.midiApi.isEmpty()
                          ? SettingsStore::Peek(options.settingsFile, "setup", "midiapi", QString())
                          : options.midiApi;
  auto opening = std::async(std::launch::async, [api] { return CreateMidiBackend(api); });
  const std::future<void> fonts = WarmUpFonts();

  // A knob steps once per pointer motion the window system reports; Qt must not merge them.
  QApplication::setAttribute(Qt::AA_CompressHighFrequencyEvents, false);
  QApplication app(argc, argv);
  QApplication::setApplicationDisplayName("Kelvane");
  UseDetectableAutoRepeat();

  QtDialogs dialogs;
  Dialogs::Install(&dialogs);
  CloseWindowOnTermination closeOnTermination;  // from here: the window may show dialogs
  std::unique_ptr<MidiBackend> backend;         // outlives the window
  TForm1 window(
      [&]() -> MidiBackend & {
        backend = opening.get();
        return *backend;
      },
      options.settingsFile);
  dialogs.SetOwner(&window);
  closeOnTermination.SetWindow(&window);
  CentreOnScreen(window);
  window.show();
  return app.exec();
}
