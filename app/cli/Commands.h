// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Kelvane's command-line modes, for scripts and backups: the SysEx page's send and receive on
// the same code, and the device lists, with no window and no display:
//   kelvane devices
//   kelvane sysex send FILE --to DEVICE [--pause MS] [--wire-speed] [--full-speed] [--force]
//   kelvane sysex receive FILE --from DEVICE [--request FILE --to DEVICE] [--quiet-stop S]
//                                            [--timeout S]
// Options may stand anywhere, also before the command's words.
// Exit status: 0 when every byte went or came; 1 when not, or when the MIDI service overran
// meanwhile (the reason on standard error);
// 2 for a mistaken command line; 3 when the file's check found faults (a file then is not sent
// without --force; a received dump is saved all the same).

// Each command's options are in CommandLineOptions.cpp's table, each command in a file of its
// own (DevicesCommand.cpp, SysexSendCommand.cpp, SysexReceiveCommand.cpp).

// Whether `word`, the first bare word of the command line, names one of the modes.
bool IsCommandWord(const QString &word);
// Runs the mode named by argv[commandAt] and returns the exit status. Creates its own
// QCoreApplication.
int RunCommand(int argc, char **argv, int commandAt);
