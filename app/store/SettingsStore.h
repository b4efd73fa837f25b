// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <vector>

// Kelvane's per-user store: named sections of named text values, kept in an INI file.
//
// Section and value names match without regard to letter case and keep the spelling they were
// first written with. Every value is text; integers and Booleans are encoded as decimal text.
// Values Kelvane does not know are kept. Each write reaches the disk at once, atomically
// replacing the file, unless a batch is open: then the writes of the batch reach the disk
// together when the outermost batch ends (the window opens one around every handler, so that a
// handler's writes are on disk before control returns to the event loop).
class SettingsStore {
 public:
  // Opens the store backed by `fileName`, creating nothing yet. A file that cannot be read or
  // parsed is set aside under another name (see `OpenProblem`) and the store starts empty.
  explicit SettingsStore(QString fileName);
  ~SettingsStore();

  SettingsStore(const SettingsStore &) = delete;
  SettingsStore &operator=(const SettingsStore &) = delete;

  // The per-user file: kelvane.ini in a "brimot" folder of the user's configuration location.
  static QString DefaultFileName();
  // The value as the file holds it now, read with no side effect (nothing set aside, nothing
  // reported), for choices made before the window system starts; `defaultValue` when the file
  // cannot be read or parsed.
  static QString Peek(const QString &fileName, const QString &section, const QString &name,
                      const QString &defaultValue);

  int ReadInteger(const QString &section, const QString &name, int defaultValue) const;
  void WriteInteger(const QString &section, const QString &name, int value);
  QString ReadString(const QString &section, const QString &name,
                     const QString &defaultValue) const;
  void WriteString(const QString &section, const QString &name, const QString &value);
  bool ReadBool(const QString &section, const QString &name, bool defaultValue) const;
  void WriteBool(const QString &section, const QString &name, bool value);

  bool ValueExists(const QString &section, const QString &name) const;

  // Writes pending values now. Raises `Exception` with a clear text when the file cannot be
  // written; the values stay in memory and the next flush tries again.
  void Flush();
  // Flushes and stops writing: later writes raise. The file stays as the last flush left it.
  void Close();
  bool IsClosed() const { return closed_; }

  // Empty when the file was read normally (or did not exist); otherwise the text to show the
  // user once: what was wrong and where the damaged file now lies.
  const QString &OpenProblem() const { return openProblem_; }
  const QString &FileName() const { return fileName_; }

  // Defers the store's writes to the disk until the matching `EndBatch`; batches nest, and the
  // outermost `EndBatch` flushes (and may raise as `Flush` does).
  void BeginBatch() { ++batchDepth_; }
  void EndBatch();

  // The integer parser of the store: "0x1F" and "$1f" read 31, " +7" reads 7, and text that does
  // not parse completely gives `defaultValue`.
  static int ParseInteger(const QString &text, int defaultValue);

 private:
  SettingsStore(QString fileName, bool load);
  struct Value {
    QString name;
    QString text;
  };
  struct Section {
    QString name;
    std::vector<Value> values;
    QHash<QString, size_t> index;  // lower-case name -> position in `values`
  };

  void Load();
  bool Parse(const QByteArray &bytes, QString *problem);
  void SetAside(const QString &reason);
  const QString *Find(const QString &section, const QString &name) const;
  void Store(const QString &section, const QString &name, const QString &text);
  bool Put(const QString &section, const QString &name, const QString &text);
  QString DiskStamp() const;
  void MergeWithDisk();
  void WriteFile();
  QByteArray Serialise() const;

  QString fileName_;
  std::vector<Section> sections_;
  QHash<QString, size_t> sectionIndex_;  // lower-case name -> position in `sections_`
  QString openProblem_;
  QString diskStamp_;           // the file as this store last read or wrote it
  std::vector<Value> pending_;  // writes not yet on disk ("section\0name" = text)
  bool dirty_ = false;
  bool closed_ = false;
  bool frozen_ = false;  // a damaged file that could not be set aside is never overwritten
  int batchDepth_ = 0;
};
