// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What a screen reader hears: the knobs and value boxes read through AT-SPI, the desktop's
// accessibility service, on a private session bus.

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include "E2eSupport.h"

namespace e2e {
namespace {

const QPoint kKnob3(103, 30);  // centre of knob3 in page coordinates

// A private session bus, on which the accessibility bus and its registry start when first asked
// for; all of them end with it.
class SessionBus {
 public:
  explicit SessionBus(const QString &runtimeDir) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", runtimeDir);
    env.insert("DISPLAY", XDisplay());
    daemon_.setProcessEnvironment(env);
    daemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    if (daemon_.waitForStarted(10000) && daemon_.waitForReadyRead(10000))
      address_ = QString::fromLatin1(daemon_.readLine()).trimmed();
  }
  ~SessionBus() {
    daemon_.terminate();
    if (!daemon_.waitForFinished(5000)) daemon_.kill();
  }
  QString Address() const { return address_; }

 private:
  QProcess daemon_;
  QString address_;
};

class Accessibility : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    if (HasFatalFailure()) return;
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    IniFile::Write(settings, PeerSettings(graph, peer, "[knob]\nknobname3=cutoff\n"));
  }

  QProcessEnvironment ClientEnvironment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", bus.Address());
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    env.insert("DISPLAY", XDisplay());
    return env;
  }

  void StartReader(QProcess &reader, const QStringList &arguments) const {
    reader.setProcessEnvironment(ClientEnvironment());
    // Debian's own Python, which has the GObject bindings.
    reader.start("/usr/bin/python3", QStringList{KELVANE_ATSPI_SCRIPT} + arguments);
  }

  // The lines "atspi-controls.py list" prints.
  QStringList Controls() const {
    QProcess reader;
    StartReader(reader, {"list"});
    if (!reader.waitForFinished(10000)) reader.kill();
    return QString::fromUtf8(reader.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
  }

  // The text of every label on screen, as "atspi-controls.py labels" prints them.
  QStringList Labels() const {
    QProcess reader;
    StartReader(reader, {"labels"});
    if (!reader.waitForFinished(10000)) reader.kill();
    return QString::fromUtf8(reader.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
  }
  void ReadableBy(Kelvane &app) {
    app.SetEnvironment("DBUS_SESSION_BUS_ADDRESS", bus.Address());
    app.SetEnvironment("XDG_RUNTIME_DIR", runtime.path());
    app.SetEnvironment("QT_ACCESSIBILITY", "1");
    app.SetEnvironment("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
  }

  QTemporaryDir runtime;
  SessionBus bus{runtime.path()};
};

TEST_F(Accessibility, AScreenReaderReadsAKnobsNameAndValueAndHearsItTurn) {
  ASSERT_FALSE(bus.Address().isEmpty()) << "no session bus";
  Kelvane app(settings);
  ReadableBy(app);
  ASSERT_NO_FATAL_FAILURE(StartConnected(app));

  // Every knob is a dial and every value box a slider, named by its label.
  QStringList controls;
  ASSERT_TRUE(WaitUntil([&] {
    return (controls = Controls()).contains("dial\tcutoff\t0\t0\t127");
  })) << controls.join('\n').toStdString();
  EXPECT_EQ(controls.filter(QRegularExpression("^dial\t")).size(), 22 + 1 + 5);
  EXPECT_TRUE(controls.contains("dial\tspeed\t6\t0\t48"));
  EXPECT_TRUE(controls.contains("dial\tPitch Bend\t0\t0\t127"));
  EXPECT_TRUE(controls.contains("slider\tVelocity\t90\t0\t127"));
  EXPECT_TRUE(controls.contains("slider\tPlaymode\t10\t0\t10"));

  // Turned from the keyboard to 64, the knob announces each value and reads "cutoff, 64".
  QProcess listener;
  StartReader(listener, {"watch", "5"});
  ASSERT_TRUE(listener.waitForReadyRead(10000) && listener.readLine().trimmed() == "ready");
  app.MoveTo(app.PageOrigin() + kKnob3);
  Xdo({"click", "4"});  // the wheel gives knob3 the focus: 1
  ASSERT_TRUE(peer.WaitForMessages(1));
  for (int i = 1; i <= 9; ++i) {
    app.Key(i == 9 ? "Down" : "Prior");  // 9, 17 .. 57, 65, then down to 64
    ASSERT_TRUE(peer.WaitForMessages(1 + i));
  }
  EXPECT_TRUE(WaitUntil([&] { return Controls().contains("dial\tcutoff\t64\t0\t127"); }));
  ASSERT_TRUE(listener.waitForFinished(15000));
  const QStringList heard =
      QString::fromUtf8(listener.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
  EXPECT_TRUE(heard.contains("cutoff\t1")) << heard.join(", ").toStdString();
  EXPECT_TRUE(heard.contains("cutoff\t64")) << heard.join(", ").toStdString();
  EXPECT_EQ(Hex(peer.Messages().back()), Hex(Bytes({0xB0, 0x1A, 64})));
}

// A first start where no MIDI service answers: no error box, and the Setup page says, in the
// lists' place, what each service answered and how to get a device.
TEST_F(Accessibility, WithNoMidiServiceTheSetupPageSaysWhatEachServiceAnswered) {
  ASSERT_FALSE(bus.Address().isEmpty()) << "no session bus";
  QFile::remove(settings);
  Kelvane app(settings);
  ReadableBy(app);
  app.SetMidiApi({});  // the musician's first start: every service is tried
  app.SetEnvironment("JACK_DEFAULT_SERVER", "kelvane-nobody-" + QString::number(getpid()));
  app.Start();
  ASSERT_TRUE(app.WaitForWindow()) << app.Output().toStdString();
  EXPECT_FALSE(app.WaitForDialog(".*", 1500).has_value()) << "an error box on a first start";
  EXPECT_TRUE(app.ShowsSetupPage()) << "see no-service.png";
  app.Screenshot(ArtefactDir() + "/no-service.png");
  QStringList labels;
  EXPECT_TRUE(WaitUntil([&] {
    return !(labels = Labels().filter("JACK: no server answers")).isEmpty();
  })) << Labels().join('\n').toStdString();
  ASSERT_FALSE(labels.isEmpty());
  EXPECT_TRUE(labels[0].contains("the lists fill by themselves")) << labels[0].toStdString();
  if (!QFile::exists("/dev/snd/seq")) {
    EXPECT_TRUE(labels[0].contains("ALSA sequencer: no sequencer here")) << labels[0].toStdString();
  }
}

}  // namespace
}  // namespace e2e
