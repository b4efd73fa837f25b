// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "SettingsStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <limits>

#include "Exception.h"

namespace {

// The largest store file Kelvane reads; anything bigger was not written by it.
constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

QString Key(const QString &name) {
  return name.toLower();
}

// Values and names are written on one line each; backslash, line breaks and NUL are escaped, and
// so are blanks at either end, because a hand-edited "name = value" is read trimmed.
QString Escape(const QString &text) {
  QString out;
  out.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    QChar c = text[i];
    bool atEnd = i == 0 || i == text.size() - 1;
    if (atEnd && c == u' ')
      out += QStringLiteral("\\s");
    else if (atEnd && c == u'\t')
      out += QStringLiteral("\\t");
    else if (c == u'\\')
      out += QStringLiteral("\\\\");
    else if (c == u'\n')
      out += QStringLiteral("\\n");
    else if (c == u'\r')
      out += QStringLiteral("\\r");
    else if (c == QChar(0))
      out += QStringLiteral("\\0");
    else
      out += c;
  }
  return out;
}

bool Unescape(QStringView text, QString *out) {
  out->clear();
  for (qsizetype i = 0; i < text.size(); ++i) {
    QChar c = text[i];
    if (c != u'\\') {
      *out += c;
      continue;
    }
    if (++i == text.size()) return false;
    switch (text[i].unicode()) {
      case '\\':
        *out += u'\\';
        break;
      case 'n':
        *out += u'\n';
        break;
      case 'r':
        *out += u'\r';
        break;
      case '0':
        *out += QChar(0);
        break;
      case 's':
        *out += u' ';
        break;
      case 't':
        *out += u'\t';
        break;
      default:
        return false;
    }
  }
  return true;
}

// Reading trims what writing escapes at a text's ends: blanks and tabs, nothing else.
QStringView TrimBlanks(QStringView text) {
  auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
  while (!text.isEmpty() && blank(text.front())) text = text.mid(1);
  while (!text.isEmpty() && blank(text.back())) text.chop(1);
  return text;
}

int HexDigit(QChar c) {
  if (c >= u'0' && c <= u'9') return c.unicode() - '0';
  if (c >= u'a' && c <= u'f') return c.unicode() - 'a' + 10;
  if (c >= u'A' && c <= u'F') return c.unicode() - 'A' + 10;
  return -1;
}

// Reads all of `digits` in `base` (10 or 16) into `*value`; false when a character is not a
// digit, there are none, or the number does not fit 32 bits.
bool ParseDigits(QStringView digits, int base, qint64 *value) {
  if (digits.isEmpty()) return false;
  qint64 v = 0;
  for (QChar c : digits) {
    int d = HexDigit(c);
    if (d < 0 || d >= base) return false;
    v = v * base + d;
    if (v > std::numeric_limits<quint32>::max()) return false;
  }
  *value = v;
  return true;
}

}  // namespace

SettingsStore::SettingsStore(QString fileName) : SettingsStore(std::move(fileName), true) {}

SettingsStore::SettingsStore(QString fileName, bool load) : fileName_(std::move(fileName)) {
  if (load) Load();
}

SettingsStore::~SettingsStore() {
  // A destructor cannot report a failed write; whoever cares closes the store first.
  try {
    if (!closed_) Flush();
  } catch (const Exception &) {
  }
}

QString SettingsStore::DefaultFileName() {
  QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  return QDir(base).filePath(QStringLiteral("brimot/kelvane.ini"));
}

QString SettingsStore::Peek(const QString &fileName, const QString &section, const QString &name,
                            const QString &defaultValue) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileSize) return defaultValue;
  SettingsStore peek(fileName, /*load=*/false);
  peek.closed_ = true;  // never written back
  QString problem;
  if (!peek.Parse(file.readAll(), &problem)) return defaultValue;
  return peek.ReadString(section, name, defaultValue);
}

int SettingsStore::ParseInteger(const QString &text, int defaultValue) {
  qint64 value = 0;
  if (text.size() > 2 && (text.startsWith(u"0x") || text.startsWith(u"0X"))) {
    if (!ParseDigits(QStringView(text).mid(2), 16, &value)) return defaultValue;
    return static_cast<int>(static_cast<quint32>(value));
  }
  QStringView rest(text);
  while (!rest.isEmpty() && (rest.front() == u' ' || rest.front() == u'\t')) rest = rest.mid(1);
  bool negative = false;
  if (!rest.isEmpty() && (rest.front() == u'+' || rest.front() == u'-')) {
    negative = rest.front() == u'-';
    rest = rest.mid(1);
  }
  if (!rest.isEmpty() && rest.front() == u'$') {
    if (!ParseDigits(rest.mid(1), 16, &value)) return defaultValue;
    // Hexadecimal text names a 32-bit pattern: "$FFFFFFFF" is -1.
    quint32 pattern = static_cast<quint32>(value);
    return static_cast<int>(negative ? 0u - pattern : pattern);  // "-$80000000" is INT_MIN
  }
  if (!ParseDigits(rest, 10, &value)) return defaultValue;
  if (negative) value = -value;
  if (value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min())
    return defaultValue;
  return static_cast<int>(value);
}

int SettingsStore::ReadInteger(const QString &section, const QString &name,
                               int defaultValue) const {
  const QString *text = Find(section, name);
  return text ? ParseInteger(*text, defaultValue) : defaultValue;
}

void SettingsStore::WriteInteger(const QString &section, const QString &name, int value) {
  Store(section, name, QString::number(value));
}

QString SettingsStore::ReadString(const QString &section, const QString &name,
                                  const QString &defaultValue) const {
  const QString *text = Find(section, name);
  return text ? *text : defaultValue;
}

void SettingsStore::WriteString(const QString &section, const QString &name, const QString &value) {
  Store(section, name, value);
}

bool SettingsStore::ReadBool(const QString &section, const QString &name, bool defaultValue) const {
  return ReadInteger(section, name, defaultValue ? 1 : 0) != 0;
}

void SettingsStore::WriteBool(const QString &section, const QString &name, bool value) {
  WriteInteger(section, name, value ? 1 : 0);
}

bool SettingsStore::ValueExists(const QString &section, const QString &name) const {
  return Find(section, name) != nullptr;
}

const QString *SettingsStore::Find(const QString &section, const QString &name) const {
  auto s = sectionIndex_.constFind(Key(section));
  if (s == sectionIndex_.constEnd()) return nullptr;
  const Section &sec = sections_[*s];
  auto v = sec.index.constFind(Key(name));
  return v == sec.index.constEnd() ? nullptr : &sec.values[*v].text;
}

void SettingsStore::Store(const QString &section, const QString &name, const QString &text) {
  if (closed_) throw Exception(QStringLiteral("The settings store %1 is closed").arg(fileName_));
  if (!Put(section, name, text)) return;
  pending_.push_back(Value{section + QChar(0) + name, text});
  dirty_ = true;
  if (batchDepth_ == 0) Flush();
}

bool SettingsStore::Put(const QString &section, const QString &name, const QString &text) {
  auto s = sectionIndex_.constFind(Key(section));
  size_t sectionAt;
  if (s == sectionIndex_.constEnd()) {
    sectionAt = sections_.size();
    sections_.push_back(Section{section, {}, {}});
    sectionIndex_.insert(Key(section), sectionAt);
  } else {
    sectionAt = *s;
  }
  Section &sec = sections_[sectionAt];
  auto v = sec.index.constFind(Key(name));
  if (v == sec.index.constEnd()) {
    sec.index.insert(Key(name), sec.values.size());
    sec.values.push_back(Value{name, text});
  } else if (sec.values[*v].text == text) {
    return false;
  } else {
    sec.values[*v].text = text;
  }
  return true;
}

QString SettingsStore::DiskStamp() const {
  QFileInfo info(fileName_);
  if (!info.exists()) return QString();
  return info.lastModified().toString(Qt::ISODateWithMs) + u'/' + QString::number(info.size());
}

// Another program (a second Kelvane, an editor) may have written the file since this store last
// read or wrote it: take what is on disk, then this store's own writes on top, so that neither
// side's values are lost.
void SettingsStore::MergeWithDisk() {
  if (DiskStamp() == diskStamp_) return;
  QFile file(fileName_);
  if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileSize) return;
  QByteArray bytes = file.readAll();
  std::vector<Section> mine = std::move(sections_);
  QHash<QString, size_t> mineIndex = std::move(sectionIndex_);
  sections_.clear();
  sectionIndex_.clear();
  QString problem;
  if (!Parse(bytes, &problem)) {
    sections_ = std::move(mine);
    sectionIndex_ = std::move(mineIndex);
    return;
  }
  for (const Value &v : pending_) {
    qsizetype split = v.name.indexOf(QChar(0));
    Put(v.name.left(split), v.name.mid(split + 1), v.text);
  }
}

void SettingsStore::EndBatch() {
  if (batchDepth_ > 0 && --batchDepth_ == 0 && dirty_ && !closed_) Flush();
}

void SettingsStore::Flush() {
  if (!dirty_ || closed_ || frozen_) return;
  MergeWithDisk();
  WriteFile();
  diskStamp_ = DiskStamp();
  pending_.clear();
  dirty_ = false;
}

void SettingsStore::Close() {
  Flush();
  closed_ = true;
}

void SettingsStore::WriteFile() {
  QFileInfo info(fileName_);
  if (!QDir().mkpath(info.absolutePath()))
    throw Exception(
        QStringLiteral("Cannot create the settings folder %1").arg(info.absolutePath()));
  QSaveFile file(fileName_);
  if (!file.open(QIODevice::WriteOnly))
    throw Exception(
        QStringLiteral("Cannot save the settings to %1: %2").arg(fileName_, file.errorString()));
  QByteArray bytes = Serialise();
  if (file.write(bytes) != bytes.size() || !file.commit())
    throw Exception(
        QStringLiteral("Cannot save the settings to %1: %2").arg(fileName_, file.errorString()));
}

QByteArray SettingsStore::Serialise() const {
  QString out;
  for (const Section &sec : sections_) {
    out += u'[' + Escape(sec.name) + QStringLiteral("]\n");
    for (const Value &v : sec.values) out += Escape(v.name) + u'=' + Escape(v.text) + u'\n';
    out += u'\n';
  }
  return out.toUtf8();
}

void SettingsStore::Load() {
  QFile file(fileName_);
  if (!file.exists()) return;
  if (!file.open(QIODevice::ReadOnly)) {
    SetAside(file.errorString());
    return;
  }
  if (file.size() > kMaxFileSize) {
    file.close();
    SetAside(QStringLiteral("it is larger than %1 MB").arg(kMaxFileSize / (1024 * 1024)));
    return;
  }
  QByteArray bytes = file.readAll();
  file.close();
  QString problem;
  if (!Parse(bytes, &problem)) {
    sections_.clear();
    sectionIndex_.clear();
    SetAside(problem);
    return;
  }
  diskStamp_ = DiskStamp();
}

bool SettingsStore::Parse(const QByteArray &bytes, QString *problem) {
  QStringDecoder decode(QStringDecoder::Utf8);
  QString text = decode(bytes);
  if (decode.hasError()) {
    *problem = QStringLiteral("it is not a text file");
    return false;
  }
  if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
  const QStringList lines = text.split(u'\n');
  Section *current = nullptr;
  for (qsizetype n = 0; n < lines.size(); ++n) {
    QStringView line(lines[n]);
    if (line.endsWith(u'\r')) line.chop(1);
    QStringView trimmed = TrimBlanks(line);
    if (trimmed.isEmpty() || trimmed.startsWith(u';') || trimmed.startsWith(u'#')) continue;
    QString name, value;
    if (trimmed.startsWith(u'[') && trimmed.endsWith(u']')) {
      if (!Unescape(trimmed.mid(1, trimmed.size() - 2), &name) || name.isEmpty()) {
        *problem = QStringLiteral("line %1 has a damaged section name").arg(n + 1);
        return false;
      }
      auto s = sectionIndex_.constFind(Key(name));
      if (s == sectionIndex_.constEnd()) {
        sectionIndex_.insert(Key(name), sections_.size());
        sections_.push_back(Section{name, {}, {}});
        current = &sections_.back();
      } else {
        current = &sections_[*s];
      }
      continue;
    }
    qsizetype eq = line.indexOf(u'=');
    if (!current || eq <= 0 || !Unescape(TrimBlanks(line.left(eq)), &name) || name.isEmpty() ||
        !Unescape(TrimBlanks(line.mid(eq + 1)), &value)) {
      *problem = QStringLiteral("line %1 is not a setting").arg(n + 1);
      return false;
    }
    auto v = current->index.constFind(Key(name));
    if (v == current->index.constEnd()) {
      current->index.insert(Key(name), current->values.size());
      current->values.push_back(Value{name, value});
    } else {
      current->values[*v].text = value;
    }
  }
  return true;
}

void SettingsStore::SetAside(const QString &reason) {
  QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
  QString aside = fileName_ + QStringLiteral(".damaged-") + stamp;
  for (int n = 2; QFile::exists(aside); ++n)
    aside = fileName_ + QStringLiteral(".damaged-%1-%2").arg(stamp).arg(n);
  if (QFile::rename(fileName_, aside)) {
    openProblem_ = QStringLiteral(
                       "The settings file %1 could not be read (%2). It was kept as %3, and "
                       "Kelvane starts with its default settings")
                       .arg(fileName_, reason, aside);
    return;
  }
  // The damaged file stays where it is; never overwrite it, so it can still be rescued.
  openProblem_ = QStringLiteral(
                     "The settings file %1 could not be read (%2) and could not be set aside. "
                     "Kelvane starts with its default settings and will not change that file")
                     .arg(fileName_, reason);
  frozen_ = true;
}
