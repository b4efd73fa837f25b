// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Kelvane's main routine: the command line, the MIDI service, the window and the event loop.

#include <QApplication>
#include <QCommandLineParser>
#include <QScreen>
#include <cstdio>

#include "Dialogs.h"
#include "MidiBackend.h"
#include "QtDialogs.h"
#include "SettingsStore.h"
#include "SignalClose.h"
#include "Unit1.h"
#include "X11AutoRepeat.h"

namespace {

struct Options {
  QString settingsFile;
  QString midiApi;
};

Options ParseCommandLine(const QApplication &app) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      "A small desktop MIDI controller: 22 knobs, a computer-keyboard note keyboard, "
      "snapshots, schemes and SysEx file transfer.");
  parser.addHelpOption();
  parser.addVersionOption();
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
  parser.addOption(settings);
  parser.addOption(midiApi);
  parser.process(app);

  Options options{parser.value(settings), parser.value(midiApi)};
  if (options.settingsFile.isEmpty()) options.settingsFile = SettingsStore::DefaultFileName();
  if (!options.midiApi.isEmpty() && !MidiBackendApis().contains(options.midiApi)) {
    std::fprintf(stderr, "kelvane: unknown MIDI service \"%s\"; choose one of: %s\n",
                 qPrintable(options.midiApi), qPrintable(MidiBackendApis().join(", ")));
    std::exit(2);
  }
  return options;
}

void CentreOnScreen(QWidget &window) {
  if (QScreen *screen = QGuiApplication::primaryScreen())
    window.move(screen->availableGeometry().center() - window.rect().center());
}

}  // namespace

int main(int argc, char **argv) {
  CatchTerminationSignals();
  // A knob steps once per pointer motion the window system reports; Qt must not merge them.
  QApplication::setAttribute(Qt::AA_CompressHighFrequencyEvents, false);
  QApplication app(argc, argv);
  QApplication::setApplicationName("kelvane");
  QApplication::setApplicationDisplayName("Kelvane");
  QApplication::setApplicationVersion(KELVANE_VERSION);
  Options options = ParseCommandLine(app);
  UseDetectableAutoRepeat();

  QtDialogs dialogs;
  Dialogs::Install(&dialogs);
  std::unique_ptr<MidiBackend> backend = CreateMidiBackend(options.midiApi);
  TForm1 window(*backend, options.settingsFile);
  dialogs.SetOwner(&window);
  CloseWindowOnTermination(&window);
  CentreOnScreen(window);
  window.show();
  return app.exec();
}
