// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the commands share: exit statuses, messages, the reading of a command's options and the
// finding of devices.

#include <QString>
#include <QStringList>
#include <cstdio>
#include <memory>
#include <optional>

#include "CommandLineOptions.h"

class MidiBackend;
class QCommandLineParser;
class TMidiOutput;

enum ExitStatus { kAllWent = 0, kFailed = 1, kMistake = 2, kCheckFaults = 3 };

// Writes `text` and a line end to `stream` at once.
void Say(FILE *stream, const QString &text);
// Says `text` on standard error after "kelvane: " and returns `status`.
int Fail(const QString &text, int status = kFailed);

// The positional words of one mode, or the exit status of a mistake or of --help.
struct Parsed {
  QStringList words;
  std::optional<int> exit;
};

// Reads `arguments` with the options `mode` takes; `usage` names the command ("sysex send").
// Answers --help and every mistake itself.
Parsed ParseCommand(QCommandLineParser &parser, CommandLineMode mode, const QString &usage,
                    const QStringList &arguments);

// A device by its number or by its name: the exact name, else the one name that holds the
// text (letter case aside). `kind` is "output" or "input", for the reason why not.
std::optional<int> FindDevice(const QStringList &names, const QString &wanted, const QString &kind,
                              QString &error);
// An output port opened on the device `wanted`, its name in `name`; or the reason why not.
std::unique_ptr<TMidiOutput> OpenOutput(MidiBackend &backend, const QString &wanted, QString &error,
                                        QString &name);

// The commands, each given the command line without its command words.
int DevicesCommand(const QStringList &arguments);
int SysexSendCommand(const QStringList &arguments);
int SysexReceiveCommand(const QStringList &arguments);
