// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// .syx files are read and written whole, by the window and by the command line alike.

// No SysEx dump of any synthesizer comes near this; a bigger file is a wrong choice, and
// reading it whole would only exhaust memory.
constexpr qint64 kMaxSysExFileSize = qint64(64) << 20;

// The file's bytes; raises "Cannot open file NAME", "Cannot read file NAME" or a too-large
// error for a file over `maxBytes`.
QByteArray ReadSysExFile(const QString &name, qint64 maxBytes = kMaxSysExFileSize);
// Writes `bytes` beside the file and then puts them in its place, so that a failed write leaves
// the old file (or none) rather than part of a dump; raises "Cannot create file NAME".
void WriteSysExFile(const QString &name, const QByteArray &bytes);
// A file name as the user's system writes it, for messages.
QString ShownFileName(const QString &name);
