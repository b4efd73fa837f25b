// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "SettingsStore.h"

namespace {

// True once the process has its own handler for `signal` installed (Linux: /proc/PID/status).
bool CatchesSignal(qint64 pid, int signal) {
  QFile status(QStringLiteral("/proc/%1/status").arg(pid));
  if (!status.open(QIODevice::ReadOnly)) return false;
  for (const QByteArray &line : status.readAll().split('\n'))
    if (line.startsWith("SigCgt:"))
      return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1;
  return false;
}

class KelvaneProcess : public ::testing::Test {
 protected:
  void Start(QStringList extra = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(env);
    process.start(KELVANE_EXECUTABLE,
                  QStringList({"--settings", file, "--midi-api", "loopback"}) + extra);
    ASSERT_TRUE(process.waitForStarted(10000));
  }

  QTemporaryDir dir;
  QString file = dir.filePath("kelvane.ini");
  QProcess process;
};

}  // namespace

TEST_F(KelvaneProcess, TerminationClosesTheWindowInOrderSoTheShutdownSaveRuns) {
  for (int signal : {SIGTERM, SIGINT}) {
    QFile::remove(file);
    Start();
    QElapsedTimer waited;
    waited.start();
    while (!CatchesSignal(process.processId(), signal) && waited.elapsed() < 10000)
      QThread::msleep(10);
    ::kill(static_cast<pid_t>(process.processId()), signal);
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    SettingsStore store(file);
    EXPECT_EQ(store.ReadString("setup", "out", "missing"), "-1") << "signal " << signal;
    EXPECT_EQ(store.ReadString("kb", "vel", "missing"), "90");
  }
}

// An error box the window shows as it starts waits for the musician, but not a session
// manager's signal: it is cancelled and the window closes in order.
TEST_F(KelvaneProcess, TerminationEndsAStartUpErrorBoxAndStillSaves) {
  QFile settings(file);
  ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
  settings.write("[setup]\nout=9\n");  // no such device: "Invalid device ID."
  settings.close();
  Start();
  for (int i = 0; i < 1000 && !CatchesSignal(process.processId(), SIGTERM); ++i)
    QThread::msleep(10);
  QThread::msleep(500);  // the box is up, or comes after the signal: either way it must end
  ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
  ASSERT_TRUE(process.waitForFinished(20000)) << "the box waits for a human";
  EXPECT_EQ(SettingsStore(file).ReadString("kb", "vel", "missing"), "90");
}
