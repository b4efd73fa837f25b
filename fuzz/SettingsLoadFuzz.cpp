// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: the settings store's loader. The input is a settings file, optionally followed by
// a NUL byte and a text that is written into the store. Whatever the file holds:
//  - nothing crashes;
//  - a file the store cannot read is set aside byte for byte and never overwritten;
//  - a file it reads keeps its values across a rewrite;
//  - what the store writes it reads back as written, without finding it damaged.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "Exception.h"
#include "FuzzSupport.h"
#include "SettingsStore.h"

namespace {

QTemporaryDir *folder = nullptr;

QString FilePath() {
  return folder->filePath(QStringLiteral("kelvane.ini"));
}

void EmptyFolder() {
  QDir dir(folder->path());
  for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System))
    dir.remove(name);
}

QStringList AsideFiles() {
  return QDir(folder->path())
      .entryList({QStringLiteral("kelvane.ini.damaged-*")}, QDir::Files | QDir::Hidden);
}

QByteArray ReadAll(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The first section and value name the file seems to hold, found crudely, so that the store is
// also asked for names that exist.
std::pair<QString, QString> FirstNames(const QByteArray &bytes) {
  QString section = QStringLiteral("setup"), name = QStringLiteral("speed");
  bool haveSection = false;
  for (const QByteArray &raw : bytes.split('\n')) {
    const QByteArray line = raw.trimmed();
    if (!haveSection && line.startsWith('[') && line.endsWith(']') && line.size() > 2) {
      section = QString::fromUtf8(line.mid(1, line.size() - 2));
      haveSection = true;
    } else if (haveSection && line.indexOf('=') > 0) {
      name = QString::fromUtf8(line.left(line.indexOf('=')).trimmed());
      break;
    }
  }
  return {section, name};
}

bool IsAscii(const QString &text) {
  for (QChar c : text)
    if (c.unicode() > 0x7F) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz::StartApplication();
  // Memory-backed when there is one: every input writes the file.
  const QString base =
      QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
  folder = new QTemporaryDir(base + QStringLiteral("/kelvane-fuzz-XXXXXX"));
  if (!folder->isValid()) fuzz::Fail("no temporary folder");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
  const qsizetype nul = input.lastIndexOf('\0');
  const QByteArray fileBytes = nul < 0 ? input : input.left(nul);
  const bool writeText = nul >= 0;
  const QString text = writeText ? QString::fromUtf8(input.mid(nul + 1)) : QString();

  EmptyFolder();
  const QString path = FilePath();
  if (!fileBytes.isEmpty()) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(fileBytes) != fileBytes.size())
      fuzz::Fail("cannot write the settings file");
  }

  const auto [section, name] = FirstNames(fileBytes);
  bool damaged;
  QString before;
  try {
    SettingsStore store(path);
    damaged = !store.OpenProblem().isEmpty();
    if (damaged) {
      const QStringList aside = AsideFiles();
      fuzz::Expect(aside.size() == 1, "a damaged file was not set aside");
      fuzz::Expect(ReadAll(folder->filePath(aside.front())) == fileBytes,
                   "the set-aside file differs from the damaged one");
      fuzz::Expect(!QFile::exists(path), "the damaged file is still in place");
    }
    before = store.ReadString(section, name, QStringLiteral("<missing>"));
    if (IsAscii(section) && IsAscii(name))
      fuzz::Expect(store.ReadString(section.toUpper(), name.toUpper(),
                                    QStringLiteral("<missing>")) == before,
                   "names do not match without regard to case");
    (void)store.ReadInteger(QStringLiteral("setup"), QStringLiteral("speed"), 6);
    (void)store.ReadBool(section, name, true);
    (void)store.ValueExists(QStringLiteral("Button1"), QStringLiteral("k1"));

    store.BeginBatch();
    store.WriteInteger(QStringLiteral("fuzz"), QStringLiteral("written"), 42);
    if (writeText) store.WriteString(QStringLiteral("fuzz"), QStringLiteral("text"), text);
    store.EndBatch();
    store.Flush();
  } catch (const Exception &error) {
    fuzz::Fail("the store raised", error.Message().toUtf8());
  }

  if (damaged) {
    const QStringList aside = AsideFiles();
    fuzz::Expect(aside.size() == 1 && ReadAll(folder->filePath(aside.front())) == fileBytes,
                 "the set-aside file was changed");
  }

  SettingsStore again(path);
  fuzz::Expect(again.OpenProblem().isEmpty(), "the store cannot read what it wrote",
               again.OpenProblem().toUtf8() + "\n--- file ---\n" + ReadAll(path));
  fuzz::Expect(again.ReadInteger(QStringLiteral("fuzz"), QStringLiteral("written"), 0) == 42,
               "a written integer did not come back");
  if (writeText) {
    const QString back = again.ReadString(QStringLiteral("fuzz"), QStringLiteral("text"), {});
    fuzz::Expect(back == text, "a written text did not come back",
                 "wrote " + fuzz::Hex(text.toUtf8()) + "\nread  " + fuzz::Hex(back.toUtf8()));
  }
  const bool overwrittenByUs = section.compare(QStringLiteral("fuzz"), Qt::CaseInsensitive) == 0;
  if (!damaged && !overwrittenByUs)
    fuzz::Expect(again.ReadString(section, name, QStringLiteral("<missing>")) == before,
                 "a value changed when the store rewrote its file",
                 "[" + section.toUtf8() + "] " + name.toUtf8() + ": " + before.toUtf8());
  return 0;
}
