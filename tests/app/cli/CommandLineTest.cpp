// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "CommandLineOptions.h"
#include "RefusingJackServer.h"

namespace {

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

}  // namespace

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
  EXPECT_TRUE(
      devices.err.endsWith("kelvane: no MIDI service works here\n"
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
  // Options may come before the command's words; their values are no command.
  const Answer before = Run({"--midi-api", "loopback", "sysex", "--to", "0", "send", good});
  EXPECT_EQ(before.code, 0) << before.err.constData();

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

// The option table is what every mode's help shows, and the sysex synopsis names every option
// of send and receive; what a mode keeps from its help is not there.
TEST_F(CommandLine, EveryOptionInTheTableIsInItsModesHelp) {
  const std::pair<CommandLineMode, QStringList> modes[] = {
      {kWindowMode, {"--help"}},
      {kDevicesMode, {"devices", "--help"}},
      {kSysexSendMode, {"sysex", "send", "--help"}},
      {kSysexReceiveMode, {"sysex", "receive", "--help"}}};
  const QByteArray synopsis = Run({"sysex", "--help"}).out;
  for (const auto &[mode, arguments] : modes) {
    const QByteArray help = Run(arguments).out;
    for (const CommandLineOptionRow &row : CommandLineOptionTable()) {
      if (!(row.modes & mode)) continue;
      QByteArray shown = QByteArray("--") + row.longName;
      if (row.valueName) shown += QByteArray(" <") + row.valueName + '>';
      if (row.shortName) shown = QByteArray("-") + row.shortName + ", " + shown;
      EXPECT_EQ(help.contains(shown), !row.hidden) << shown.constData() << " in\n"
                                                   << help.constData();
      if (row.modes == kSysexSendMode || row.modes == kSysexReceiveMode) {
        EXPECT_TRUE(synopsis.contains(QByteArray("--") + row.longName)) << row.longName << " in\n"
                                                                        << synopsis.constData();
      }
    }
  }
}
