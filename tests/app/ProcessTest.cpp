// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "RefusingJackServer.h"
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
  while (!CatchesSignal(process.processId(), SIGTERM)) QThread::msleep(10);
  QThread::msleep(500);  // the box is up, or comes after the signal: either way it must end
  ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
  ASSERT_TRUE(process.waitForFinished(20000)) << "the box waits for a human";
  EXPECT_EQ(SettingsStore(file).ReadString("kb", "vel", "missing"), "90");
}

// Every command-line mode answers and ends without a display, as in a terminal over ssh or in a
// package build: the X11 platform is asked for and no display is there.
class CommandLine : public ::testing::Test {
 protected:
  struct Answer {
    QProcess::ExitStatus status;
    int code;
    QByteArray out, err;
  };

  Answer Run(const QStringList &arguments, const QStringList &environment = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &entry : environment)
      env.insert(entry.section('=', 0, 0), entry.section('=', 1));
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY"}) env.remove(name);
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("XDG_CONFIG_HOME", dir.path());
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(KELVANE_EXECUTABLE, arguments);
    EXPECT_TRUE(process.waitForFinished(10000));
    return {process.exitStatus(), process.exitCode(), process.readAllStandardOutput(),
            process.readAllStandardError()};
  }

  QTemporaryDir dir;
};

TEST_F(CommandLine, HelpAndVersionAnswerWithoutADisplay) {
  for (const QString &help : QStringList{"--help", "-h", "--help-all"}) {
    const Answer answer = Run({help});
    EXPECT_EQ(answer.status, QProcess::NormalExit) << help.toStdString() << answer.err.constData();
    EXPECT_EQ(answer.code, 0) << help.toStdString();
    EXPECT_TRUE(answer.out.contains("--settings")) << answer.out.constData();
    EXPECT_TRUE(answer.out.contains("--midi-api"));
    EXPECT_FALSE(answer.out.contains("platformtheme")) << "Qt's own options are no help topic";
  }
  for (const QString &version : QStringList{"--version", "-v"}) {
    const Answer answer = Run({version, "--settings", "unused.ini"});
    EXPECT_EQ(answer.status, QProcess::NormalExit) << answer.err.constData();
    EXPECT_EQ(answer.code, 0);
    EXPECT_TRUE(answer.out.startsWith("kelvane ")) << answer.out.constData();
    EXPECT_TRUE(answer.out.contains("GPL-3.0-or-later"));
  }
  // Qt's own options are taken, and leave --version its answer.
  const Answer withQtOptions = Run({"-platform", "xcb", "-reverse", "--version"});
  EXPECT_EQ(withQtOptions.code, 0) << withQtOptions.err.constData();
}

TEST_F(CommandLine, MistakesAreRefusedWithoutADisplay) {
  const Answer service = Run({"--midi-api", "nonsense"});
  EXPECT_EQ(service.status, QProcess::NormalExit);
  EXPECT_EQ(service.code, 2);
  EXPECT_TRUE(service.err.contains("unknown MIDI service")) << service.err.constData();
  const Answer option = Run({"--no-such-option"});
  EXPECT_EQ(option.status, QProcess::NormalExit);
  EXPECT_EQ(option.code, 1);
  EXPECT_TRUE(option.err.contains("no-such-option")) << option.err.constData();
}

// What the services answered, in their own words: a JACK server that refuses the client, and no
// sequencer on this machine.
TEST_F(CommandLine, DevicesSaysWhatTheServicesAnswered) {
  const std::string server = "kelvane-refuses-" + std::to_string(getpid());
  const RefusingJackServer refusing(server);
  ASSERT_TRUE(refusing.Listens());
  const Answer devices = Run({"devices"}, {"JACK_DEFAULT_SERVER=" + QString::fromStdString(server),
                                           "JACK_NO_START_SERVER=1"});
  EXPECT_EQ(devices.code, 0) << devices.err.constData();
  EXPECT_EQ(devices.out, "outputs:\n  (none)\ninputs:\n  (none)\n");
  EXPECT_TRUE(devices.err.endsWith(
      "kelvane: no MIDI service works here\n"
      "  JACK: the server refused the client\n"
      "  ALSA sequencer: no sequencer here (/dev/snd/seq)\n"))
      << devices.err.constData();
}

TEST_F(CommandLine, DevicesAndSysexCommandsAnswerWithoutADisplay) {
  const Answer devices = Run({"devices", "--midi-api", "loopback"});
  EXPECT_EQ(devices.code, 0) << devices.err.constData();
  EXPECT_EQ(devices.out,
            "outputs:\n  0  Loopback Out 1\n  1  Loopback Out 2\n  2  Loopback Out 3\n"
            "inputs:\n  0  Loopback In 1\n  1  Loopback In 2\n");
  for (const QStringList &help :
       {QStringList{"sysex", "send", "--help"}, QStringList{"sysex", "receive", "--help"},
        QStringList{"devices", "--help"}}) {
    const Answer answer = Run(help);
    EXPECT_EQ(answer.code, 0) << help.join(' ').toStdString();
    EXPECT_TRUE(
        answer.out.startsWith("Usage: kelvane " + help.mid(0, help.size() - 1).join(' ').toUtf8()))
        << answer.out.constData();
  }

  const QString good = dir.filePath("good.syx"), bad = dir.filePath("bad.syx");
  {
    QFile file(good);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::fromHex("F04110000BF7F0010203F7"));
    QFile faulty(bad);
    ASSERT_TRUE(faulty.open(QIODevice::WriteOnly));
    faulty.write(QByteArray::fromHex("F041106A12010000000577F7"));  // the sum needs 7A
  }
  const Answer sent = Run({"sysex", "send", good, "--to", "out 2", "--midi-api", "loopback"});
  EXPECT_EQ(sent.code, 0) << sent.err.constData();
  EXPECT_EQ(sent.out, "sent 2 messages, 11 bytes to Loopback Out 2\n");
  const Answer refused = Run({"sysex", "send", bad, "--to", "0", "--midi-api", "loopback"});
  EXPECT_EQ(refused.code, 3);
  EXPECT_TRUE(refused.err.contains("checksum 77, should be 7A")) << refused.err.constData();
  EXPECT_EQ(Run({"sysex", "send", bad, "--to", "0", "--force", "--midi-api", "loopback"}).code, 0);

  // Mistakes: status 2 with a text; a device nobody has, or several have: status 1.
  for (const QStringList &mistake :
       {QStringList{"sysex", "send", good}, QStringList{"sysex", "copy", good},
        QStringList{"sysex", "receive", good, "--from", "0", "--request", good},
        QStringList{"sysex", "send", good, "--to", "0", "--pause", "soon"}}) {
    const Answer answer = Run(mistake + QStringList{"--midi-api", "loopback"});
    EXPECT_EQ(answer.code, 2) << mistake.join(' ').toStdString();
    EXPECT_TRUE(answer.err.startsWith("kelvane: ")) << answer.err.constData();
  }
  const Answer ambiguous =
      Run({"sysex", "send", good, "--to", "Loopback", "--midi-api", "loopback"});
  EXPECT_EQ(ambiguous.code, 1);
  EXPECT_TRUE(ambiguous.err.contains("names several")) << ambiguous.err.constData();
  const Answer nobody = Run({"sysex", "receive", good, "--from", "7", "--midi-api", "loopback"});
  EXPECT_EQ(nobody.code, 1);
  EXPECT_TRUE(nobody.err.contains("no MIDI input device is numbered or named \"7\""));
  const Answer quiet =
      Run({"sysex", "receive", good, "--from", "1", "--timeout", "1", "--midi-api", "loopback"});
  EXPECT_EQ(quiet.code, 1);
  EXPECT_TRUE(quiet.err.contains("nothing arrived from Loopback In 2 within 1 s"))
      << quiet.err.constData();
  EXPECT_EQ(Run({"unknown-command"}).code, 1);
}
