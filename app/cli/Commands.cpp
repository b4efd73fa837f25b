// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "Commands.h"

#include <QCoreApplication>

#include "CommandParts.h"
#include "TerminationSignals.h"

namespace {

const QString kDevices = QStringLiteral("devices");
const QString kSysex = QStringLiteral("sysex");

// kelvane sysex with no send or receive, or with --help before it.
int SysexUsage(const QStringList &arguments) {
  const bool help = arguments.contains("--help") || arguments.contains("-h");
  Say(help ? stdout : stderr,
      QStringLiteral("Usage: kelvane sysex send FILE --to DEVICE [--pause MS] [--wire-speed] "
                     "[--full-speed] [--force]\n"
                     "       kelvane sysex receive FILE --from DEVICE [--request FILE --to "
                     "DEVICE] [--quiet-stop S] [--timeout S]\n"
                     "kelvane sysex send --help and kelvane sysex receive --help tell more."));
  return help ? kAllWent : kMistake;
}

int SysexCommand(QStringList arguments) {
  // The command's own word is the first word left that is no option's value.
  const qsizetype at = FirstBareWord(arguments);
  if (at < 0) return SysexUsage(arguments);
  const QString action = arguments.takeAt(at);
  if (action == QStringLiteral("send")) return SysexSendCommand(arguments);
  if (action == QStringLiteral("receive")) return SysexReceiveCommand(arguments);
  return Fail(QStringLiteral("unknown sysex command \"%1\"; it is send or receive").arg(action),
              kMistake);
}

}  // namespace

bool IsCommandWord(const QString &word) {
  return word == kDevices || word == kSysex;
}

int RunCommand(int argc, char **argv, int commandAt) {
  QCoreApplication app(argc, argv);
  QStringList arguments = QCoreApplication::arguments();
  const QString command = arguments.takeAt(commandAt);
  CatchTerminationSignals();
  if (command == kDevices) return DevicesCommand(arguments);
  return SysexCommand(arguments);
}
