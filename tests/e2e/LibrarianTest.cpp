// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The SysEx page as a librarian, and the same from the command line: paced sending measured at
// the receiving end with its own clock, cancel, a requested dump that stops by itself, the check
// before sending, and a 1 MiB round trip between two command-line processes.

#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <QFile>
#include <QProcess>

#include "E2eSupport.h"

namespace e2e {
namespace {

// A JACK client whose input records every event with the frame it arrived in (JACK's clock,
// not ours) and, when looping, hands every event on to its output in the same cycle.
class StampingPeer {
 public:
  StampingPeer(const char *name, bool loop) : loop_(loop) {
    client_ = jack_client_open(name, JackNoStartServer, nullptr);
    if (!client_) return;
    in_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    out_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    ring_ = jack_ringbuffer_create(1 << 25);
    jack_set_process_callback(client_, &Process, this);
    jack_activate(client_);
  }
  ~StampingPeer() {
    if (client_) {
      jack_deactivate(client_);
      jack_client_close(client_);
    }
    if (ring_) jack_ringbuffer_free(ring_);
  }
  bool Ok() const { return client_ && in_ && out_; }
  std::string Name() const { return jack_get_client_name(client_); }
  std::string InPort() const { return Name() + ":in"; }
  std::string OutPort() const { return Name() + ":out"; }

  // A whole SysEx message with the frames of its first and last byte.
  struct Message {
    QByteArray bytes;
    jack_nframes_t first = 0, last = 0;
  };
  // GUI thread: everything recorded so far, split into messages.
  const std::vector<Message> &Messages() {
    Drain();
    return messages_;
  }
  QByteArray Bytes() {
    Drain();
    return bytes_;
  }
  double Milliseconds(jack_nframes_t frames) const {
    return 1000.0 * frames / jack_get_sample_rate(client_);
  }

 private:
  struct Header {
    jack_nframes_t frame;
    uint32_t size;
  };
  static int Process(jack_nframes_t frames, void *self) {
    auto &peer = *static_cast<StampingPeer *>(self);
    void *in = jack_port_get_buffer(peer.in_, frames);
    void *out = jack_port_get_buffer(peer.out_, frames);
    jack_midi_clear_buffer(out);
    const jack_nframes_t start = jack_last_frame_time(peer.client_);
    const jack_nframes_t count = jack_midi_get_event_count(in);
    for (jack_nframes_t i = 0; i < count; ++i) {
      jack_midi_event_t event;
      if (jack_midi_event_get(&event, in, i) != 0) continue;
      if (peer.loop_) jack_midi_event_write(out, event.time, event.buffer, event.size);
      const Header header{start + event.time, static_cast<uint32_t>(event.size)};
      if (jack_ringbuffer_write_space(peer.ring_) < sizeof header + event.size) continue;
      jack_ringbuffer_write(peer.ring_, reinterpret_cast<const char *>(&header), sizeof header);
      jack_ringbuffer_write(peer.ring_, reinterpret_cast<const char *>(event.buffer), event.size);
    }
    return 0;
  }
  void Drain() {
    Header header;
    while (jack_ringbuffer_read_space(ring_) >= sizeof header) {
      jack_ringbuffer_peek(ring_, reinterpret_cast<char *>(&header), sizeof header);
      if (jack_ringbuffer_read_space(ring_) < sizeof header + header.size) break;
      jack_ringbuffer_read_advance(ring_, sizeof header);
      QByteArray data(static_cast<qsizetype>(header.size), 0);
      jack_ringbuffer_read(ring_, data.data(), header.size);
      bytes_ += data;
      for (char c : data) {
        if (uint8_t(c) == 0xF0 || messages_.empty() || open_ == false) {
          messages_.push_back({{}, header.frame, header.frame});
          open_ = true;
        }
        messages_.back().bytes.append(c);
        messages_.back().last = header.frame;
        if (uint8_t(c) == 0xF7) open_ = false;
      }
    }
  }

  bool loop_;
  jack_client_t *client_ = nullptr;
  jack_port_t *in_ = nullptr, *out_ = nullptr;
  jack_ringbuffer_t *ring_ = nullptr;
  std::vector<Message> messages_;
  QByteArray bytes_;
  bool open_ = false;
};

class Librarian : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(stamper.Ok());
  }
  // Kelvane's output goes to the stamping peer, its input comes from the ordinary peer.
  void StartSendingToStamper(Kelvane &app, const QByteArray &more) {
    const int out = graph.OutputDeviceIndex(stamper.InPort());
    const int in = graph.InputDeviceIndex(peer.OutPort());
    IniFile::Write(settings,
                   QStringLiteral("[setup]\nout=%1\nin=%2\n").arg(out).arg(in).toUtf8() + more);
    app.Start();
    ASSERT_TRUE(app.WaitForWindow()) << app.Output().toStdString();
    ASSERT_TRUE(WaitUntil([&] { return graph.ConnectedToKelvane(stamper.InPort()); }, 5000));
    app.ShowPage(sysexpage::kPage);
  }
  void SendFile(Kelvane &app, const QByteArray &content) {
    const QString file = dir.filePath("bank.syx");
    IniFile::Write(file, content);
    SendSysExFile(app, file);
  }

  StampingPeer stamper{"e2e-stamper", false};
};

TEST_F(Librarian, MessagesSentWithAPauseArriveAtLeastThePauseApart) {
  Kelvane app(settings);
  ASSERT_NO_FATAL_FAILURE(StartSendingToStamper(app, "sysexpause=100\n"));
  QByteArray file;
  for (int i = 0; i < 20; ++i) file += SysExOfLength(24, i);
  ASSERT_NO_FATAL_FAILURE(SendFile(app, file));
  ASSERT_TRUE(WaitUntil([&] { return stamper.Messages().size() >= 20; }, 15000))
      << stamper.Messages().size() << " messages arrived";
  const auto &messages = stamper.Messages();
  EXPECT_EQ(stamper.Bytes(), file);
  double shortest = 1e9;
  for (size_t i = 1; i < messages.size(); ++i)
    shortest = std::min(shortest, stamper.Milliseconds(messages[i].first - messages[i - 1].last));
  EXPECT_GE(shortest, 95.0) << "the shortest gap at the receiving end";
  std::printf("shortest gap between messages at the receiver: %.1f ms\n", shortest);
}

TEST_F(Librarian, CancelEndsTheMessageInFlightWithF7AndSendsNothingMore) {
  Kelvane app(settings);
  ASSERT_NO_FATAL_FAILURE(StartSendingToStamper(app, {}));
  const QByteArray first = SysExOfLength(100, 1), huge = SysExOfLength(16 << 20, 2),
                   last = SysExOfLength(100, 3);
  ASSERT_NO_FATAL_FAILURE(SendFile(app, first + huge + last));
  ASSERT_TRUE(WaitUntil([&] { return stamper.Bytes().size() > 200000; }, 15000));
  app.Click(app.PageOrigin() + sysexpage::kCancel);
  Settle(1000);
  const qsizetype afterCancel = stamper.Bytes().size();
  Settle(1000);
  const QByteArray got = stamper.Bytes();
  EXPECT_EQ(got.size(), afterCancel) << "something still came after the cancel";
  ASSERT_LT(got.size(), first.size() + huge.size()) << "the transfer ended before the cancel";
  EXPECT_EQ(uint8_t(got.back()), 0xF7) << "the message in flight was not ended";
  EXPECT_TRUE(got.startsWith(first + huge.left(1000)));
  EXPECT_EQ(got.count(char(0xF0)), 2) << "the message after the cancelled one was sent";
}

TEST_F(Librarian, AFileWithABadChecksumIsCaughtBeforeSending) {
  Kelvane app(settings);
  ASSERT_NO_FATAL_FAILURE(StartSendingToStamper(app, {}));
  const QByteArray bad = Bytes({0xF0, 0x41, 0x10, 0x6A, 0x12, 0x01, 0x00, 0x00, 0x00, 0x05, 0x77,
                                0xF7});  // the sum needs 7A
  ASSERT_NO_FATAL_FAILURE(SendFile(app, SysExOfLength(20, 1) + bad));
  const auto warning = app.WaitForDialog("Warning");
  ASSERT_TRUE(warning.has_value()) << "no question before sending";
  app.Key("Escape");  // No: not sent
  ASSERT_TRUE(WaitUntil([&] { return app.WindowGone(*warning); }));
  Settle(500);
  EXPECT_TRUE(stamper.Bytes().isEmpty()) << Hex(stamper.Bytes());
}

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
  StampingPeer loop("e2e-loop", true);
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
  EXPECT_EQ(sender.exitCode(), 0) << sender.readAllStandardError().constData();
  ASSERT_TRUE(receiver.waitForFinished(40000));
  EXPECT_EQ(receiver.exitCode(), 0) << receiver.readAllStandardError().constData();
  EXPECT_TRUE(receiver.readAllStandardOutput().contains("received"));
  QFile copy(received);
  ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
  const QByteArray got = copy.readAll();
  EXPECT_EQ(got.size(), content.size());
  EXPECT_TRUE(got == content) << "the copy differs";
}

}  // namespace
}  // namespace e2e
