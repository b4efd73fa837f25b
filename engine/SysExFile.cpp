// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "SysExFile.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include "Exception.h"

namespace {

[[noreturn]] void RaiseTooLarge(const QString &name, qint64 maxBytes) {
  const QString limit = maxBytes >= (qint64(1) << 20)
                            ? QStringLiteral("%1 MiB").arg(maxBytes >> 20)
                            : QStringLiteral("%1 KiB").arg(maxBytes >> 10);
  throw Exception(QStringLiteral("The file %1 is too large to send as SysEx (more than %2)")
                      .arg(ShownFileName(name), limit));
}

}  // namespace

QString ShownFileName(const QString &name) {
  return QDir::toNativeSeparators(name);
}

QByteArray ReadSysExFile(const QString &name, qint64 maxBytes) {
  QFile file(name);
  if (!file.open(QIODevice::ReadOnly))
    throw Exception(QStringLiteral("Cannot open file %1").arg(ShownFileName(name)));
  if (!file.isSequential() && file.size() > maxBytes) RaiseTooLarge(name, maxBytes);
  // Read in pieces: a device or pipe has no size to check beforehand, and one that never ends
  // must stop at the limit too.
  constexpr qint64 kPiece = qint64(1) << 20;
  QByteArray bytes;
  if (!file.isSequential()) bytes.reserve(file.size());
  while (!file.atEnd()) {
    const QByteArray piece = file.read(kPiece);
    if (piece.isEmpty()) break;
    bytes += piece;
    if (bytes.size() > maxBytes) RaiseTooLarge(name, maxBytes);
  }
  if (file.error() != QFileDevice::NoError)
    throw Exception(QStringLiteral("Cannot read file %1").arg(ShownFileName(name)));
  return bytes;
}

void WriteSysExFile(const QString &name, const QByteArray &bytes) {
  QSaveFile file(name);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
    throw Exception(QStringLiteral("Cannot create file %1").arg(ShownFileName(name)));
}
