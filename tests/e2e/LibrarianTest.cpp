// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The SysEx page as a librarian, and the same from the command line: a requested dump that stops
// by itself, Panic in the middle of a paced file, and a 1 MiB round trip between two command-line
// processes. Pacing, cancel and the check before sending are the engine's tests
// (tests/engine/SysExLibrarianTest.cpp).

#include <jack/midiport.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <cstdio>
#include <utility>

#include "E2eSupport.h"

namespace e2e {
namespace {

// A JACK client that hands every event on from its input to its output in the same cycle.
class LoopPeer {
 public:
  explicit LoopPeer(const char *name) {
    client_ = jack_client_open(name, JackNoStartServer, nullptr);
    if (!client_) return;
    in_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    out_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(client_, &Process, this);
    jack_activate(client_);
  }
  ~LoopPeer() {
    if (!client_) return;
    jack_deactivate(client_);
    jack_client_close(client_);
  }
  bool Ok() const { return client_ && in_ && out_; }
  std::string OutPort() const { return std::string(jack_get_client_name(client_)) + ":out"; }

 private:
  static int Process(jack_nframes_t frames, void *self) {
    auto &peer = *static_cast<LoopPeer *>(self);
    void *in = jack_port_get_buffer(peer.in_, frames);
    void *out = jack_port_get_buffer(peer.out_, frames);
    jack_midi_clear_buffer(out);
    const jack_nframes_t count = jack_midi_get_event_count(in);
    for (jack_nframes_t i = 0; i < count; ++i) {
      jack_midi_event_t event;
      if (jack_midi_event_get(&event, in, i) == 0)
        jack_midi_event_write(out, event.time, event.buffer, event.size);
    }
    return 0;
  }

  jack_client_t *client_ = nullptr;
  jack_port_t *in_ = nullptr, *out_ = nullptr;
};

using Librarian = E2eTest;

TEST_F(Librarian, ARequestedDumpIsRecordedAndTheRecordingStopsByItself) {
  const QByteArray request = Bytes(
      {0xF0, 0x41, 0x10, 0x6A, 0x11, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x7E, 0xF7});
  IniFile::Write(settings, PeerSettings(graph, peer,
                                        "sysexquietstop=1\nsysexquiet=1\nsysexrequeston=1\n"
                                        "sysexrequest=F0 41 10 6A 11 01 00 00 00 00 00 01 00 7E "
                                        "F7\n"));
  Kelvane app(settings);
  ASSERT_NO_FATAL_FAILURE(StartConnected(app));
  app.ShowPage(sysexpage::kPage);
  app.Click(app.PageOrigin() + sysexpage::kReceive);
  ASSERT_NO_FATAL_FAILURE(
      AnswerFileDialog(app, "enter the file name for sysex data", dir.filePath("dump")));
  ASSERT_TRUE(WaitUntil([&] { return peer.Received() == request; }))
      << "the request did not arrive: " << Hex(peer.Received());
  const std::vector<QByteArray> dump = {SysExOfLength(266, 1), SysExOfLength(266, 2),
                                        SysExOfLength(6000, 3)};
  peer.Send(dump);
  const QString saved = dir.filePath("dump.syx");
  ASSERT_TRUE(WaitUntil([&] { return QFile::exists(saved); }, 8000))
      << "the recording did not stop by itself";
  QFile file(saved);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), dump[0] + dump[1] + dump[2]);
}

// The 16 All Sound Off, channels 1 to 16.
QByteArray AllSoundOff() {
  QByteArray bytes;
  for (int channel = 0; channel < 16; ++channel) bytes += Bytes({0xB0 + channel, 0x78, 0x00});
  return bytes;
}

TEST_F(Librarian, PanicInAPauseOrAtWireSpeedLeavesNothingOfTheFileAfterTheAllSoundOff) {
  QByteArray content;
  for (int i = 0; i < 16; ++i) content += SysExOfLength(1000, i);  // 320 ms each at wire speed
  const QString file = dir.filePath("bank.syx");
  IniFile::Write(file, content);
  using Pacing = std::pair<const char *, const char *>;  // its name, its settings line
  for (const auto &[name, pacing] :
       {Pacing{"pause", "sysexpause=300\n"}, Pacing{"wire speed", "sysexwirespeed=1\n"}}) {
    SCOPED_TRACE(pacing);
    IniFile::Write(settings, PeerSettings(graph, peer, pacing));
    Kelvane app(settings);
    ASSERT_NO_FATAL_FAILURE(StartConnected(app));
    app.ShowPage(sysexpage::kPage);
    const qsizetype start = peer.Received().size();
    const auto received = [&] { return peer.Received().mid(start); };
    ASSERT_NO_FATAL_FAILURE(SendSysExFile(app, file));
    ASSERT_TRUE(app.FocusMain());
    ASSERT_TRUE(WaitUntil([&] { return received().size() >= 1000; }));
    QElapsedTimer panicToSynth;
    panicToSynth.start();
    app.Key("alt+BackSpace");
    ASSERT_TRUE(WaitUntil([&] { return received().contains(AllSoundOff()); }))
        << Hex(received().right(64));
    std::printf("%s: Alt+Backspace to the last All Sound Off at the synth in %lld ms\n", name,
                static_cast<long long>(panicToSynth.elapsed()));
    Settle(1000);  // longer than the pause and than a message at wire speed
    const QByteArray sent = received();
    const qsizetype panic = sent.indexOf(AllSoundOff());
    EXPECT_EQ(sent.size(), panic + AllSoundOff().size())
        << "after them: " << Hex(sent.mid(panic + AllSoundOff().size()).left(64));
    const QByteArray ofTheFile = sent.left(panic);
    const bool cutShort = !content.startsWith(ofTheFile);
    if (cutShort) {
      EXPECT_TRUE(ofTheFile.endsWith(char(0xF7)));
    }
    EXPECT_TRUE(content.startsWith(cutShort ? ofTheFile.chopped(1) : ofTheFile));
    EXPECT_LT(ofTheFile.size(), content.size()) << "the file went out whole";
  }
}

// ---- the command line ----

QProcess *Command(QProcess &process, const QStringList &arguments) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY"}) env.remove(name);
  env.insert("QT_QPA_PLATFORM", "xcb");  // no display: these modes must not need one
  process.setProcessEnvironment(env);
  process.start(QStringLiteral(KELVANE_EXECUTABLE), arguments + QStringList{"--midi-api", "jack"});
  return &process;
}

TEST_F(Librarian, CommandLineSendAndReceiveRoundTripOneMebibyteByteExact) {
  LoopPeer loop("e2e-loop");
  ASSERT_TRUE(loop.Ok());
  QByteArray content;
  for (int i = 0; content.size() < (1 << 20) - 5000; ++i)
    content += SysExOfLength(100 + (i * 37) % 4000, i);
  content += SysExOfLength((1 << 20) - int(content.size()), 7);
  ASSERT_EQ(content.size(), 1 << 20);
  const QString sent = dir.filePath("bank.syx"), received = dir.filePath("copy.syx");
  IniFile::Write(sent, content);

  QProcess receiver, sender;
  Command(receiver, {"sysex", "receive", received, "--from", QString::fromStdString(loop.OutPort()),
                     "--quiet-stop", "2", "--timeout", "50"});
  ASSERT_TRUE(WaitUntil([&] { return graph.ConnectedToKelvane(loop.OutPort()); }, 10000))
      << receiver.readAllStandardError().constData();
  Command(sender, {"sysex", "send", sent, "--to", "e2e-loop:in"});
  ASSERT_TRUE(sender.waitForFinished(40000));
  ASSERT_TRUE(receiver.waitForFinished(40000));
  // The shared test server runs without realtime scheduling: when it overran, each command
  // that saw it says so and ends with status 1, and the copy may then differ.
  const QByteArray sendError = sender.readAllStandardError();
  const QByteArray receiveError = receiver.readAllStandardError();
  const bool sendOverran = sendError.contains("overran");
  const bool receiveOverran = receiveError.contains("overran");
  EXPECT_EQ(sender.exitCode(), sendOverran ? 1 : 0) << sendError.constData();
  EXPECT_EQ(receiver.exitCode(), receiveOverran ? 1 : 0) << receiveError.constData();
  if (!receiveOverran) {
    EXPECT_TRUE(receiver.readAllStandardOutput().contains("received"));
  }
  QFile copy(received);
  ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
  const QByteArray got = copy.readAll();
  if ((sendOverran || receiveOverran) && got != content)
    GTEST_SKIP() << "the server overran: " << got.size() << " of " << content.size() << " came";
  EXPECT_EQ(got.size(), content.size());
  EXPECT_TRUE(got == content) << "the copy differs";
}

}  // namespace
}  // namespace e2e
