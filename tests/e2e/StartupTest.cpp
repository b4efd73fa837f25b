// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up and shutdown of the real program: the first start on an empty store, the shutdown save
// through both ways of closing, choosing the output device in the window, a damaged store.

#include <QDir>

#include "E2eSupport.h"

namespace e2e {
namespace {

class Startup : public E2eTest {};

void ExpectFirstStartShutdownValues(const IniFile &saved) {
  EXPECT_EQ(saved.ValueOr("setup", "out", "missing"), "-1");
  EXPECT_EQ(saved.ValueOr("setup", "ch", "missing"), "0");
  EXPECT_EQ(saved.ValueOr("setup", "comkeymode", "missing"), "0");
  EXPECT_EQ(saved.ValueOr("kb", "vel", "missing"), "90");
  EXPECT_EQ(saved.ValueOr("kb", "velrnd", "missing"), "20");
  // Their defaults lie past the item lists: the boxes show, and keep, their last items.
  EXPECT_EQ(saved.ValueOr("kb", "playmode", "missing"), "10");
  EXPECT_EQ(saved.ValueOr("kb", "interval", "missing"), "6");
}

TEST_F(Startup, FirstStartOpensOnSetupAndShutdownSaveSurvivesRestart) {
  // An empty store: the window opens on the Setup page, with no output port open.
  {
    Kelvane app(settings);
    app.Start();
    ASSERT_TRUE(app.WaitForWindow());
    app.Screenshot(ArtefactDir() + "/first-start.png");
    EXPECT_TRUE(app.ShowsSetupPage());
    EXPECT_FALSE(graph.ConnectedToKelvane(peer.InPort()));
    app.CloseWindow();
    ASSERT_TRUE(app.WaitForExit()) << app.Output().toStdString();
  }
  const IniFile first = IniFile::Read(settings);
  ASSERT_TRUE(first.Exists());
  ExpectFirstStartShutdownValues(first);
  EXPECT_EQ(first.ValueOr("setup", "in", "missing"), "0");  // the peer's port is input device 0

  // Still no output: the Setup page again. The user picks the peer in "MIDI output".
  const int out = graph.OutputDeviceIndex(peer.InPort());
  {
    Kelvane app(settings);
    app.Start();
    ASSERT_TRUE(app.WaitForWindow());
    EXPECT_TRUE(app.ShowsSetupPage());
    app.Click(app.PageOrigin() + QPoint(164, 14));  // opens the list
    app.Type(QString::fromStdString(peer.InPort()));
    app.Key("Return");
    EXPECT_TRUE(WaitUntil([&] { return graph.ConnectedToKelvane(peer.InPort()); }));
    // Written the moment it changed, not at shutdown.
    EXPECT_TRUE(WaitUntil(
        [&] { return IniFile::Read(settings).Value("setup", "out") == QString::number(out); }));
    app.Terminate();
    ASSERT_TRUE(app.WaitForExit()) << app.Output().toStdString();
  }
  EXPECT_EQ(IniFile::Read(settings).ValueOr("setup", "out", "missing"), QString::number(out));

  // The stored device opens at start and the knob page shows.
  {
    Kelvane app(settings);
    app.Start();
    ASSERT_TRUE(app.WaitForWindow());
    EXPECT_TRUE(WaitUntil([&] { return graph.ConnectedToKelvane(peer.InPort()); }, 5000));
    EXPECT_TRUE(app.ShowsKnobPage());
    app.CloseWindow();
    ASSERT_TRUE(app.WaitForExit()) << app.Output().toStdString();
  }
  EXPECT_EQ(IniFile::Read(settings).ValueOr("setup", "out", "missing"), QString::number(out));
}

TEST_F(Startup, DamagedSettingsFileIsReportedKeptAsideAndDefaultsRun) {
  const QByteArray damaged = "[setup]\nout=0\nspeed=12\nthis line is no setting\n";
  IniFile::Write(settings, damaged);
  Kelvane app(settings);
  app.Start();

  // The error box comes before the window.
  const auto box = app.WaitForDialog("^Kelvane$");
  ASSERT_TRUE(box.has_value()) << app.Output().toStdString();
  EXPECT_FALSE(app.MainWindowVisible());
  app.Screenshot(*box, ArtefactDir() + "/damaged-settings-box.png");
  app.Key("Return");
  ASSERT_TRUE(WaitUntil([&] { return app.WindowGone(*box); }));

  // Defaults: no output device, so the Setup page.
  ASSERT_TRUE(app.WaitForWindow());
  EXPECT_TRUE(app.ShowsSetupPage());
  EXPECT_FALSE(graph.ConnectedToKelvane(peer.InPort()));

  const QStringList aside =
      QDir(dir.path()).entryList({"kelvane.ini?*"}, QDir::Files | QDir::Hidden);
  ASSERT_EQ(aside.size(), 1) << aside.join(", ").toStdString();
  EXPECT_EQ(ReadFile(dir.filePath(aside.front())), damaged);

  app.Terminate();
  ASSERT_TRUE(app.WaitForExit()) << app.Output().toStdString();
  const IniFile fresh = IniFile::Read(settings);
  ExpectFirstStartShutdownValues(fresh);
  EXPECT_FALSE(fresh.Value("setup", "speed").has_value());
  EXPECT_EQ(ReadFile(dir.filePath(aside.front())), damaged);
}

TEST_F(Startup, StoredInputDeviceThatDoesNotExistIsRefused) {
  // The peer's port is the only input device; number 1 names none.
  const int out = graph.OutputDeviceIndex(peer.InPort());
  ASSERT_EQ(graph.InputDeviceIndex(peer.OutPort()), 0);
  ASSERT_EQ(graph.InputDeviceIndex("no such port"), -1);
  IniFile::Write(settings, QStringLiteral("[setup]\nout=%1\nin=1\n").arg(out).toUtf8());
  Kelvane app(settings);
  app.Start();

  // "Invalid device ID" in the error box, before the window.
  const auto box = app.WaitForDialog("^Kelvane$", 5000);
  EXPECT_TRUE(box.has_value()) << "no error box";
  if (box) {
    EXPECT_FALSE(app.MainWindowVisible());
    app.Screenshot(*box, ArtefactDir() + "/invalid-input-device-box.png");
    app.Key("Return");
  }
  ASSERT_TRUE(app.WaitForWindow());
  ASSERT_TRUE(WaitUntil([&] { return graph.ConnectedToKelvane(peer.InPort()); }, 5000));

  // Above all, Kelvane does not listen to its own output.
  const std::vector<std::string> fromPeer = graph.Connections(peer.InPort());
  ASSERT_EQ(fromPeer.size(), 1u);
  const std::vector<std::string> fromKelvane = graph.Connections(fromPeer.front());
  for (const std::string &port : fromKelvane)
    EXPECT_NE(port.rfind("Kelvane", 0), 0u)
        << "Kelvane listens to itself: " << fromPeer.front() << " -> " << port;
  app.Terminate();
  EXPECT_TRUE(app.WaitForExit());
}

}  // namespace
}  // namespace e2e
