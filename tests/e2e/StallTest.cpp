// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// A JACK server that stops (SIGSTOP, as a hung driver or an overloaded machine stops it) under a
// playing Kelvane: the window goes on answering and closes within two seconds, its settings saved.

#include <signal.h>

#include <QElapsedTimer>
#include <QFile>
#include <cstdlib>

#include "E2eSupport.h"

namespace e2e {
namespace {

// Window coordinates of the " notes" item of the keyboard-mode group beside the snapshots.
const QPoint kNotesMode(349, 165);

// Runs only on a server of its own (see the test list): it stops that server.
TEST(Stall, AStoppedServerLeavesTheWindowAnsweringAndClosingWithItsSettingsSaved) {
  const QByteArray server = qgetenv("KELVANE_JACK_STALL_SERVER");
  if (server.isEmpty()) GTEST_SKIP() << "needs a server of its own";
  const std::string script = KELVANE_JACK_SCRIPT;
  ASSERT_EQ(std::system((script + " start " + server.toStdString()).c_str()), 0);
  qputenv("JACK_DEFAULT_SERVER", server);
  const QByteArray tmp = qEnvironmentVariableIsEmpty("TMPDIR") ? "/tmp" : qgetenv("TMPDIR");
  QFile pidFile(QString::fromLocal8Bit(tmp + "/kelvane-jack-" + server + ".pid"));
  ASSERT_TRUE(pidFile.open(QIODevice::ReadOnly));
  const pid_t serverPid = static_cast<pid_t>(pidFile.readAll().trimmed().toInt());
  ASSERT_GT(serverPid, 0);

  QTemporaryDir dir;
  const QString settings = dir.filePath("kelvane.ini");
  JackGraph graph;
  Peer peer;
  ASSERT_TRUE(graph.Ok() && peer.Ok());
  IniFile::Write(settings, PeerSettings(graph, peer));
  // Values only the shutdown save writes: not in the file Kelvane starts with.
  ASSERT_FALSE(IniFile::Read(settings).Value("setup", "comkeymode").has_value());
  ASSERT_FALSE(IniFile::Read(settings).Value("kb", "velrnd").has_value());
  {
    Kelvane app(settings);
    app.Start();
    ASSERT_TRUE(app.WaitForWindow()) << app.Output().toStdString();
    ASSERT_TRUE(WaitUntil([&] { return graph.ConnectedToKelvane(peer.InPort()); }, 5000));
    app.Key("1");  // knob 1 up one step
    ASSERT_TRUE(peer.WaitForMessages(1));

    ASSERT_EQ(kill(serverPid, SIGSTOP), 0);
    app.Key("1");
    app.Click(kNotesMode);  // the window still answers: the keys play notes from now on ...
    app.ShowPage(3);        // ... and it turns to the Setup page
    EXPECT_TRUE(WaitUntil([&] { return app.ShowsSetupPage(); }, 5000));

    QElapsedTimer closing;
    closing.start();
    app.Terminate();
    EXPECT_TRUE(app.WaitForExit(5000));
    std::printf("Kelvane closed %lld ms after SIGTERM with its server stopped\n",
                static_cast<long long>(closing.elapsed()));
    EXPECT_LT(closing.elapsed(), 2000);
  }
  kill(serverPid, SIGCONT);
  const IniFile saved = IniFile::Read(settings);
  // The shutdown save ran: the mode chosen while the server stood still, and a keyboard-page
  // value at its default.
  EXPECT_EQ(saved.ValueOr("setup", "comkeymode", "missing"), "1");
  EXPECT_EQ(saved.ValueOr("kb", "velrnd", "missing"), "20");
  EXPECT_EQ(saved.ValueOr("setup", "out", "missing"),
            QString::number(graph.OutputDeviceIndex(peer.InPort())));
  std::system((script + " stop " + server.toStdString()).c_str());
}

}  // namespace
}  // namespace e2e
