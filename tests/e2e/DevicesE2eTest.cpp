// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Devices that stay found: a synth kept by name when another is unplugged and Kelvane restarts,
// one plugged in while Kelvane runs, the open one unplugged and plugged back, and a JACK server
// that dies and comes back.

#include <QElapsedTimer>
#include <QFile>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "E2eSupport.h"

namespace e2e {
namespace {

// A synth on the JACK graph: its ports are "<name>:in" and "<name>:out".
std::unique_ptr<JackPeer> Plug(const char *name) {
  auto synth = std::make_unique<JackPeer>(name);
  EXPECT_TRUE(synth->Ok()) << name;
  return synth;
}

std::string In(const JackPeer &synth) {
  return synth.Name() + ":in";
}

class Devices : public E2eTest {
 protected:
  // Knob 1 one step up (the knob page is shown), and waits until `synth` has it.
  static bool TurnKnobTo(Kelvane &app, JackPeer &synth) {
    const qsizetype before = synth.Received().size();
    app.Key("1");
    return WaitUntil([&] { return synth.Received().size() > before; }, 5000);
  }
};

TEST_F(Devices, ASynthIsKeptByNameWhenAnotherIsUnpluggedBeforeARestart) {
  auto synthA = Plug("e2e-synth-a");
  auto synthB = Plug("e2e-synth-b");
  auto synthC = Plug("e2e-synth-c");
  const int numberOfB = graph.OutputDeviceIndex(In(*synthB));
  // A store from before names were kept: the number alone.
  IniFile::Write(settings, QStringLiteral("[setup]\nout=%1\npole=0\n").arg(numberOfB).toUtf8());
  {
    Kelvane app(settings);
    app.Start();
    ASSERT_TRUE(app.WaitForWindow()) << app.Output().toStdString();
    ASSERT_TRUE(WaitUntil([&] { return graph.ConnectedToKelvane(In(*synthB)); }, 5000));
    app.CloseWindow();
    ASSERT_TRUE(app.WaitForExit());
  }
  EXPECT_EQ(IniFile::Read(settings).ValueOr("setup", "outname", ""),
            QString::fromStdString(In(*synthB)));

  synthA.reset();  // unplugged: B's old number is C's now
  ASSERT_EQ(graph.OutputDeviceIndex(In(*synthC)), numberOfB);
  Kelvane app(settings);
  app.Start();
  ASSERT_TRUE(app.WaitForWindow()) << app.Output().toStdString();
  ASSERT_TRUE(WaitUntil([&] { return graph.ConnectedToKelvane(In(*synthB)); }, 5000));
  EXPECT_TRUE(TurnKnobTo(app, *synthB));
  Settle();
  EXPECT_TRUE(synthC->Received().isEmpty()) << "a note reached the other synth";
  EXPECT_FALSE(graph.ConnectedToKelvane(In(*synthC)));
}

TEST_F(Devices, ASynthPluggedInWhileRunningIsChosenInTheListAndPlays) {
  Kelvane app(settings);  // a first start: the Setup page, no output
  app.Start();
  ASSERT_TRUE(app.WaitForWindow()) << app.Output().toStdString();
  ASSERT_TRUE(app.ShowsSetupPage());
  auto synth = Plug("e2e-hotplug");
  Settle(500);  // the list follows at once; leave the window a moment to draw it

  // The output list is the Setup page's first: open it, type the synth's name, take it.
  app.Click(app.PageOrigin() + QPoint(160, 14));
  Settle();
  app.Type("e2e-hotplug");
  app.Key("Return");
  ASSERT_TRUE(WaitUntil([&] { return graph.ConnectedToKelvane(In(*synth)); }, 5000))
      << "the synth plugged in was not in the list, or not chosen";
  app.ShowPage(0);
  EXPECT_TRUE(TurnKnobTo(app, *synth));
}

TEST_F(Devices, TheOpenSynthUnpluggedAndPluggedBackPlaysAgainWithoutAClick) {
  auto synth = Plug("e2e-replug");
  IniFile::Write(settings, QStringLiteral("[setup]\nout=%1\noutname=%2\npole=0\n")
                               .arg(graph.OutputDeviceIndex(In(*synth)))
                               .arg(QString::fromStdString(In(*synth)))
                               .toUtf8());
  Kelvane app(settings);
  app.Start();
  ASSERT_TRUE(app.WaitForWindow()) << app.Output().toStdString();
  ASSERT_TRUE(WaitUntil([&] { return graph.ConnectedToKelvane(In(*synth)); }, 5000));
  ASSERT_TRUE(TurnKnobTo(app, *synth));

  synth.reset();
  Settle();
  QElapsedTimer back;
  back.start();
  synth = Plug("e2e-replug");
  ASSERT_TRUE(WaitUntil([&] { return graph.ConnectedToKelvane(In(*synth)); }, 5000))
      << "Kelvane did not take the synth back";
  std::printf("[ replug   ] Kelvane was connected to the synth again %lld ms after it came back\n",
              static_cast<long long>(back.elapsed()));
  EXPECT_TRUE(TurnKnobTo(app, *synth));
  app.CloseWindow();
  ASSERT_TRUE(app.WaitForExit());
  EXPECT_EQ(IniFile::Read(settings).ValueOr("setup", "outname", ""),
            QString::fromStdString(In(*synth)));
}

// Runs only on a server of its own (see the test list): it kills that server and starts it again.
TEST(DevicesRestart, AJackServerKilledAndStartedAgainIsReconnected) {
  const QByteArray server = qgetenv("KELVANE_JACK_RESTART_SERVER");
  if (server.isEmpty()) GTEST_SKIP() << "needs a server of its own";
  const std::string script = KELVANE_JACK_SCRIPT;
  const std::string start = script + " start " + server.toStdString();
  const std::string stop = script + " stop " + server.toStdString();
  ASSERT_EQ(std::system(start.c_str()), 0);
  qputenv("JACK_DEFAULT_SERVER", server);
  QTemporaryDir dir;
  const QString settings = dir.filePath("kelvane.ini");
  auto graph = std::make_unique<JackGraph>();
  auto peer = std::make_unique<Peer>();
  ASSERT_TRUE(graph->Ok() && peer->Ok());
  IniFile::Write(settings, PeerSettings(*graph, *peer));
  Kelvane app(settings);
  app.Start();
  ASSERT_TRUE(app.WaitForWindow()) << app.Output().toStdString();
  ASSERT_TRUE(WaitUntil([&] { return graph->ConnectedToKelvane(peer->InPort()); }, 5000));

  peer.reset();
  graph.reset();
  ASSERT_EQ(std::system(stop.c_str()), 0);  // kills the server
  Settle(1000);
  QElapsedTimer back;
  back.start();
  ASSERT_EQ(std::system(start.c_str()), 0);
  graph = std::make_unique<JackGraph>();
  peer = std::make_unique<Peer>();
  ASSERT_TRUE(graph->Ok() && peer->Ok());
  // The server's return is found by a look every two seconds.
  EXPECT_TRUE(WaitUntil([&] { return graph->ConnectedToKelvane(peer->InPort()); }, 8000));
  EXPECT_TRUE(WaitUntil([&] { return graph->ConnectedToKelvane(peer->OutPort()); }, 3000));
  std::printf("[ restart  ] Kelvane was connected again %lld ms after the server was started\n",
              static_cast<long long>(back.elapsed()));
  app.Key("1");
  EXPECT_TRUE(peer->WaitForMessages(1));
  app.CloseWindow();
  EXPECT_TRUE(app.WaitForExit());
  peer.reset();
  graph.reset();
  std::system(stop.c_str());
}

}  // namespace
}  // namespace e2e
