// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCommandLineOption>
#include <QString>
#include <QStringList>
#include <span>

class QCommandLineParser;

// The modes of the command line: the window and each command. An option names the modes that
// take it.
enum CommandLineMode : unsigned {
  kWindowMode = 1u << 0,
  kDevicesMode = 1u << 1,
  kSysexSendMode = 1u << 2,
  kSysexReceiveMode = 1u << 3,
  kCommandModes = kDevicesMode | kSysexSendMode | kSysexReceiveMode,
};

// One row of the option table. An option whose help differs between modes has a row for each.
// In `help`, "{services}" stands for the MIDI services this build has and "{settings}" for the
// default settings file.
struct CommandLineOptionRow {
  const char *longName;
  const char *shortName;  // nullptr: none
  const char *valueName;  // nullptr: a switch
  const char *help;
  unsigned modes;
  bool hidden = false;  // taken, but no help topic: Qt's own options, --settings in the commands
};

// Every option of every mode. The window's -h, --help and --help-all are Qt's own
// (QCommandLineParser::addHelpOption), which alone can list Qt's options too.
std::span<const CommandLineOptionRow> CommandLineOptionTable();

// The row's option as the parser takes it, its help text filled in.
QCommandLineOption ToOption(const CommandLineOptionRow &row);
// Adds every option `mode` takes to `parser`.
void AddOptionsOf(QCommandLineParser &parser, CommandLineMode mode);
// Whether the option `argument` ("--to", "-platform") takes a value in some mode.
bool TakesValue(const QString &argument);
// Why `api`, given with --midi-api, names no MIDI service of this build; empty when it does (or
// is empty: the default).
QString MidiApiMistake(const QString &api);
// Where the first bare word of `arguments` is, from `from` on (-1: none); the values of options
// are skipped.
qsizetype FirstBareWord(const QStringList &arguments, qsizetype from = 1);
