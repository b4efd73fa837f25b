// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <limits>

#include "Exception.h"
#include "SettingsStore.h"

namespace {

QByteArray ReadAll(const QString &path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString &path, const QByteArray &bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

class SettingsStoreTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  QString file = dir.filePath("brimot/kelvane.ini");
};

}  // namespace

TEST(SettingsStoreParse, ReadsIntegersTheStoreWay) {
  EXPECT_EQ(SettingsStore::ParseInteger("0x1F", 6), 31);
  EXPECT_EQ(SettingsStore::ParseInteger("0X1f", 6), 31);
  EXPECT_EQ(SettingsStore::ParseInteger("$1f", 6), 31);
  EXPECT_EQ(SettingsStore::ParseInteger(" +7", 6), 7);
  EXPECT_EQ(SettingsStore::ParseInteger("-1", 6), -1);
  EXPECT_EQ(SettingsStore::ParseInteger("-$10", 6), -16);
  EXPECT_EQ(SettingsStore::ParseInteger("0xFFFFFFFF", 6), -1);
  EXPECT_EQ(SettingsStore::ParseInteger("-$80000000", 6), std::numeric_limits<int>::min());
  EXPECT_EQ(SettingsStore::ParseInteger("176", 6), 176);
}

TEST(SettingsStoreParse, TextThatDoesNotParseCompletelyGivesTheDefault) {
  for (const char *text :
       {"abc", "", " ", "0x", "0xG1", "7 ", "12a", "+", "$", "--1", "99999999999", "1.5"})
    EXPECT_EQ(SettingsStore::ParseInteger(text, 6), 6) << text;
}

TEST_F(SettingsStoreTest, NamesMatchWithoutCaseAndKeepTheirFirstSpelling) {
  SettingsStore store(file);
  store.WriteInteger("Button5", "knob1", 64);
  store.WriteInteger("BUTTON5", "KNOB2", 3);
  store.WriteInteger("button5", "Knob1", 65);
  EXPECT_EQ(store.ReadInteger("button5", "KNOB1", -1), 65);
  QByteArray bytes = ReadAll(file);
  EXPECT_TRUE(bytes.contains("[Button5]\nknob1=65\nKNOB2=3\n")) << bytes.constData();
  EXPECT_FALSE(bytes.contains("[button5]"));
}

TEST_F(SettingsStoreTest, MissingValuesAndSectionsGiveTheCallersDefaults) {
  SettingsStore store(file);
  store.WriteString("setup", "speed", "fast");
  EXPECT_EQ(store.ReadInteger("setup", "speed", 6), 6);
  EXPECT_EQ(store.ReadInteger("nowhere", "speed", 6), 6);
  EXPECT_EQ(store.ReadString("setup", "font", "tahoma"), "tahoma");
  EXPECT_TRUE(store.ReadBool("setup", "showhint", true));
  store.WriteString("setup", "showhint", "2");
  EXPECT_TRUE(store.ReadBool("setup", "showhint", false));
  store.WriteBool("setup", "showhint", false);
  EXPECT_EQ(store.ReadString("setup", "showhint", ""), "0");
}

TEST_F(SettingsStoreTest, TextsSurviveTheFileAsTheyWereWritten) {
  const QString odd = QString("\v two  words\\ \n=[x]\r") + QChar(0) + QString::fromUtf8("é\u00A0");
  {
    SettingsStore store(file);
    store.WriteString("knob", "knobname3", odd);
    store.WriteString("odd = section", " spaced name ", "v");
    store.WriteString("knob", "knobname4", "");  // a cleared name is a value too
  }
  SettingsStore again(file);
  EXPECT_TRUE(again.OpenProblem().isEmpty()) << again.OpenProblem().toStdString();
  EXPECT_EQ(again.ReadString("knob", "knobname3", ""), odd);
  EXPECT_EQ(again.ReadString("odd = section", " spaced name ", ""), "v");
  EXPECT_EQ(again.ReadString("knob", "knobname4", "default"), "");
}

TEST_F(SettingsStoreTest, EveryWriteIsOnDiskAtOnceUnlessABatchIsOpen) {
  SettingsStore store(file);
  store.WriteInteger("setup", "speed", 9);
  EXPECT_TRUE(ReadAll(file).contains("speed=9"));

  store.BeginBatch();
  store.WriteInteger("setup", "speed", 10);
  store.WriteInteger("setup", "pole", 0);
  EXPECT_TRUE(ReadAll(file).contains("speed=9"));
  store.EndBatch();
  EXPECT_TRUE(ReadAll(file).contains("speed=10\npole=0"));
}

TEST_F(SettingsStoreTest, ValuesKelvaneDoesNotKnowAreKept) {
  QDir().mkpath(QFileInfo(file).absolutePath());
  WriteAll(file, "; written by hand\n[Other]\nfoo = bar baz\n\n[setup]\nspeed=3\n");
  SettingsStore store(file);
  EXPECT_EQ(store.ReadInteger("setup", "speed", 6), 3);
  store.WriteInteger("setup", "speed", 4);
  SettingsStore again(file);
  EXPECT_EQ(again.ReadString("other", "FOO", ""), "bar baz");
  EXPECT_EQ(again.ReadInteger("setup", "speed", 6), 4);
}

TEST_F(SettingsStoreTest, ADamagedFileIsSetAsideReportedAndNeverOverwritten) {
  QDir().mkpath(QFileInfo(file).absolutePath());
  const QByteArray damaged("[setup]\nspeed=3\n\x01\x02garbage without equals\n");
  WriteAll(file, damaged);
  SettingsStore store(file);
  ASSERT_FALSE(store.OpenProblem().isEmpty());
  EXPECT_TRUE(store.OpenProblem().contains("line 3")) << store.OpenProblem().toStdString();
  EXPECT_EQ(store.ReadInteger("setup", "speed", 6), 6);
  EXPECT_FALSE(QFile::exists(file));

  QStringList aside = QDir(QFileInfo(file).absolutePath()).entryList({"kelvane.ini.damaged-*"});
  ASSERT_EQ(aside.size(), 1);
  EXPECT_EQ(ReadAll(QFileInfo(file).absolutePath() + "/" + aside[0]), damaged);
  EXPECT_TRUE(store.OpenProblem().contains(aside[0]));

  store.WriteInteger("setup", "speed", 8);
  SettingsStore fresh(file);
  EXPECT_TRUE(fresh.OpenProblem().isEmpty());
  EXPECT_EQ(fresh.ReadInteger("setup", "speed", 6), 8);
}

TEST_F(SettingsStoreTest, BinaryGarbageIsADamagedFileToo) {
  QDir().mkpath(QFileInfo(file).absolutePath());
  WriteAll(file, QByteArray("\xff\xfe\x00\x80[setup]", 11));
  SettingsStore store(file);
  EXPECT_TRUE(store.OpenProblem().contains("not a text file"));
}

TEST_F(SettingsStoreTest, AFailedSaveRaisesAClearErrorAndKeepsTheValue) {
  QString blocked = dir.filePath("blocker");
  WriteAll(blocked, "a file where a folder should be");
  SettingsStore store(blocked + "/kelvane.ini");
  try {
    store.WriteInteger("setup", "speed", 5);
    FAIL() << "the write should have failed";
  } catch (const Exception &e) {
    EXPECT_TRUE(e.Message().startsWith("Cannot create the settings folder"));
  }
  EXPECT_EQ(store.ReadInteger("setup", "speed", 6), 5);
}

TEST_F(SettingsStoreTest, AWrittenValueSurvivesAKillRightAfterTheWrite) {
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    SettingsStore store(file);
    store.WriteInteger("setup", "speed", 42);
    kill(getpid(), SIGKILL);
    _exit(3);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  SettingsStore store(file);
  EXPECT_EQ(store.ReadInteger("setup", "speed", 6), 42);
}

TEST_F(SettingsStoreTest, TwoWritersOfOneFileKeepEachOthersValues) {
  SettingsStore first(file);
  SettingsStore second(file);
  first.WriteInteger("setup", "speed", 7);
  second.WriteInteger("Button1", "knob1", 64);
  first.WriteInteger("setup", "pole", 0);
  SettingsStore reader(file);
  EXPECT_EQ(reader.ReadInteger("setup", "speed", 6), 7);
  EXPECT_EQ(reader.ReadInteger("setup", "pole", 1), 0);
  EXPECT_EQ(reader.ReadInteger("button1", "knob1", -1), 64);
}
