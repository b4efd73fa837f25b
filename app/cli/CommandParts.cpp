// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandParts.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include "Exception.h"
#include "MidiOut.h"

namespace {

void ShowHelp(const QCommandLineParser &parser, const QString &usage) {
  QString text = parser.helpText();
  text.replace(QRegularExpression(QStringLiteral("^Usage: \\S+ \\[options\\]")),
               QStringLiteral("Usage: kelvane ") + usage + QStringLiteral(" [options]"));
  std::fputs(qPrintable(text), stdout);
}

}  // namespace

void Say(FILE *stream, const QString &text) {
  std::fputs(qPrintable(text + QChar('\n')), stream);
  std::fflush(stream);
}

int Fail(const QString &text, int status) {
  Say(stderr, QStringLiteral("kelvane: ") + text);
  return status;
}

Parsed ParseCommand(QCommandLineParser &parser, CommandLineMode mode, const QString &usage,
                    const QStringList &arguments) {
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  AddOptionsOf(parser, mode);
  Parsed parsed;
  if (!parser.parse(arguments)) {
    parsed.exit = Fail(
        parser.errorText() + QStringLiteral(" (see kelvane ") + usage + QStringLiteral(" --help)"),
        kMistake);
  } else if (parser.isSet(QStringLiteral("help"))) {
    ShowHelp(parser, usage);
    parsed.exit = kAllWent;
  } else if (const QString mistake = MidiApiMistake(parser.value(QStringLiteral("midi-api")));
             !mistake.isEmpty()) {
    parsed.exit = Fail(mistake, kMistake);
  } else {
    parsed.words = parser.positionalArguments();
  }
  return parsed;
}

std::optional<int> FindDevice(const QStringList &names, const QString &wanted, const QString &kind,
                              QString &error) {
  bool isNumber = false;
  const int number = wanted.toInt(&isNumber);
  if (isNumber && number >= 0 && number < names.size()) return number;
  if (const qsizetype exact = names.indexOf(wanted); exact >= 0) return int(exact);
  QList<int> holding;
  for (int i = 0; i < names.size(); ++i)
    if (names[i].contains(wanted, Qt::CaseInsensitive)) holding << i;
  if (holding.size() == 1) return holding.front();
  if (names.isEmpty())
    error = QStringLiteral("there is no MIDI %1 device at all").arg(kind);
  else if (holding.isEmpty())
    error = QStringLiteral("no MIDI %1 device is numbered or named \"%2\"; they are:\n%3")
                .arg(kind, wanted, names.join(QChar('\n')));
  else
    error = QStringLiteral("\"%1\" names several MIDI %2 devices; say which:\n%3")
                .arg(wanted, kind, names.join(QChar('\n')));
  return std::nullopt;
}

std::unique_ptr<TMidiOutput> OpenOutput(MidiBackend &backend, const QString &wanted, QString &error,
                                        QString &name) {
  auto output = std::make_unique<TMidiOutput>(backend);
  const QStringList names = output->DeviceNames();
  const std::optional<int> id = FindDevice(names, wanted, QStringLiteral("output"), error);
  if (!id) return nullptr;
  name = names[*id];
  try {
    output->SetDeviceID(*id);
  } catch (const Exception &e) {
    error = e.Message();
    return nullptr;
  }
  if (!output->OpenPort()) {
    error = QStringLiteral("cannot open the MIDI output %1: %2")
                .arg(name, output->ErrorText(output->LastError()));
    return nullptr;
  }
  return output;
}
