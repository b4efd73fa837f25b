// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Kelvane's main routine: the command line, the MIDI service, the window and the event loop.

#include <QApplication>
#include <QCommandLineParser>
#include <QScreen>
#include <cstdio>
#include <future>
#include <optional>

#include "CommandLineOptions.h"
#include "Commands.h"
#include "Dialogs.h"
#include "FontWarmUp.h"
#include "MidiBackends.h"
#include "QtDialogs.h"
#include "SettingsStore.h"
#include "SignalClose.h"
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
  AddOptionsOf(parser, kWindowMode);
  parser.addPositionalArgument(
      "COMMAND",
      "Without a window or display: \"kelvane devices\" lists the MIDI devices; "
      "\"kelvane sysex send FILE\" and \"kelvane sysex receive FILE\" send and record "
      "SysEx files. Each tells its options with --help.",
      "[COMMAND ...]");
  parser.process(app);
  if (parser.isSet(QStringLiteral("version"))) {
    std::fputs(kVersionText, stdout);
    std::exit(0);
  }

  if (!parser.positionalArguments().isEmpty()) {
    std::fprintf(stderr, "kelvane: unknown command \"%s\"; the commands are devices and sysex\n",
                 qPrintable(parser.positionalArguments().constFirst()));
    std::exit(1);
  }
  Options options{parser.value(QStringLiteral("settings")),
                  parser.value(QStringLiteral("midi-api"))};
  if (options.settingsFile.isEmpty()) options.settingsFile = SettingsStore::DefaultFileName();
  if (const QString mistake = MidiApiMistake(options.midiApi); !mistake.isEmpty()) {
    std::fprintf(stderr, "kelvane: %s\n", qPrintable(mistake));
    std::exit(2);
  }
  return options;
}

// Where the command's word is on the command line: its first bare word, when that names a
// command (0: none, the window is wanted).
int CommandAt(int argc, char **argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  const qsizetype at = FirstBareWord(arguments);
  return at > 0 && IsCommandWord(arguments[at]) ? int(at) : 0;
}

void CentreOnScreen(QWidget &window) {
  if (QScreen *screen = QGuiApplication::primaryScreen())
    window.move(screen->availableGeometry().center() - window.rect().center());
}

}  // namespace

int main(int argc, char **argv) {
  QCoreApplication::setApplicationName("kelvane");
  QCoreApplication::setApplicationVersion(KELVANE_VERSION);
  if (const int at = CommandAt(argc, argv); at > 0) return RunCommand(argc, argv, at);
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
