// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Transfers through a real JACK server (the one JACK_DEFAULT_SERVER names): long SysEx under load,
// Panic in the middle of a transfer, and a server that stops answering.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "JackPeer.h"
#include "MidiBackends.h"
#include "MidiIn.h"
#include "MidiOut.h"
#include "PortTestSupport.h"
#include "SysExBytes.h"

namespace {

// A second process that keeps one core busy for as long as it lives, as a loaded machine does.
class BusyProcess {
 public:
  BusyProcess() {
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlives a test that was killed
      volatile uint64_t spin = 0;
      for (;;) spin = spin + 1;  // no library calls: the child of a threaded process may not
    }
  }
  ~BusyProcess() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }

 private:
  pid_t pid_ = -1;
};

int Runs() {
  const int runs = qEnvironmentVariableIntValue("KELVANE_TRANSFER_RUNS");
  return runs > 0 ? runs : 3;
}

QByteArray Dump(int messages, int length, int seed) {
  QByteArray dump;
  for (int i = 0; i < messages; ++i) dump += SysExOfLength(length, seed + i);
  return dump;
}

class JackTransfer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(backend->Api(), "jack")
        << "no JACK server named " << qgetenv("JACK_DEFAULT_SERVER").constData();
    ASSERT_TRUE(peer.Ok());
    // PipeWire's JACK shows a client's ports to the others a little after it activated.
    const QString device = QString::fromStdString(peer.Name() + ":in");
    ASSERT_TRUE(WaitFor([&] { return backend->CreateOutput()->PortNames().contains(device); }));
    output.SetProductName(device);
    ASSERT_TRUE(output.OpenPort());
    output.Onmidioutput = [this](QObject *) {
      ++completions;
      if (output.LastError()) ++failures;
    };
  }

  // Sends `bytes` as one block and collects what the peer receives until all of it came, or the
  // block has ended and the server reported an overrun (which may lose data between any two
  // clients), to us or, as a skipped cycle, to the peer: then `overran` is set.
  QByteArray SendAndCollect(const QByteArray &bytes, double &seconds, bool &overran) {
    const int before = completions;
    const auto count = [&] { return output.Overruns() + peer.SkippedCycles(); };
    const uint64_t overruns = count();
    QElapsedTimer timer;
    timer.start();
    output.WriteSysEx(Data(bytes), static_cast<size_t>(bytes.size()));
    QByteArray received;
    WaitFor(
        [&] {
          received += peer.TakeReceived();
          return completions > before && (received.size() >= bytes.size() || count() != overruns);
        },
        60000);
    seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    overran = count() != overruns;
    if (overran) {
      Settle();  // what the last cycles carried
      received += peer.TakeReceived();
    }
    return received;
  }

  std::unique_ptr<MidiBackend> backend = CreateMidiBackend("jack");
  JackPeer peer{"transferpeer"};
  TMidiOutput output{*backend};
  int completions = 0;
  int failures = 0;
};

// Every run is byte-exact, or the server reported overruns during it (an asynchronous server
// under load overruns now and then, realtime scheduling or not; the musician is told then).
TEST_F(JackTransfer, LongDumpsAndALongMessageArriveByteExactUnderLoad) {
  BusyProcess busy;
  const QByteArray dump = Dump(512, 8192, 1);  // 4 MiB in 8 KiB messages
  const QByteArray message = SysExOfLength(1 << 20, 7);
  double dumpSeconds = 0, messageSeconds = 0;
  int exact = 0, overran = 0;
  const auto check = [&](const QByteArray &sent, const QByteArray &received, bool overrun,
                         int run) {
    if (overrun && received != sent) {
      ++overran;
      std::printf("run %d: the server overran; %lld of %lld bytes came\n", run,
                  static_cast<long long>(received.size()), static_cast<long long>(sent.size()));
      return;
    }
    ++exact;
    ASSERT_EQ(received.size(), sent.size()) << "run " << run;
    ASSERT_TRUE(received == sent) << "run " << run;
  };
  for (int run = 0; run < Runs(); ++run) {
    double seconds = 0;
    bool overrun = false;
    const QByteArray receivedDump = SendAndCollect(dump, seconds, overrun);
    dumpSeconds += seconds;
    ASSERT_NO_FATAL_FAILURE(check(dump, receivedDump, overrun, run));
    const QByteArray receivedMessage = SendAndCollect(message, seconds, overrun);
    messageSeconds += seconds;
    ASSERT_NO_FATAL_FAILURE(check(message, receivedMessage, overrun, run));
  }
  EXPECT_EQ(completions, 2 * Runs());
  EXPECT_EQ(failures, 0);
  EXPECT_FALSE(peer.LostAny());
  std::printf(
      "%d runs: 4 MiB dump at %.2f MB/s, 1 MiB message at %.2f MB/s; %d transfers "
      "exact, %d lost data in a reported overrun\n",
      Runs(), Runs() * dump.size() / dumpSeconds / 1e6,
      Runs() * message.size() / messageSeconds / 1e6, exact, overran);
  if (exact == 0) GTEST_SKIP() << "the server overran in every transfer: nothing was shown";
}

TEST_F(JackTransfer, PanicEndsTheMessageInFlightAndLeavesInTheNextCycle) {
  const QByteArray dump = Dump(256, 8192, 3);  // 2 MiB
  output.WriteSysEx(Data(dump), static_cast<size_t>(dump.size()));
  QByteArray received;
  ASSERT_TRUE(WaitFor([&] { return (received += peer.TakeReceived()).size() > 100000; }));

  const uint64_t cycleAtPanic = peer.Cycles();
  QElapsedTimer timer;
  timer.start();
  EXPECT_TRUE(output.CancelSysEx());
  for (int channel = 0; channel < 16; ++channel)
    output.WriteShortMessage(static_cast<uint8_t>(0xB0 + channel), 120, 0);
  while (peer.AllSoundOffCycle() == 0 && timer.elapsed() < 5000)
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
  ASSERT_NE(peer.AllSoundOffCycle(), 0u);
  // The callback serves the cancel in its next cycle; the peer may already be inside the cycle
  // that was running when Panic was pressed.
  EXPECT_LE(peer.AllSoundOffCycle() - cycleAtPanic, 2u);
  std::printf("Panic reached the peer %.2f ms after it was sent, %llu cycles on\n", ms,
              static_cast<unsigned long long>(peer.AllSoundOffCycle() - cycleAtPanic));

  Settle();
  received += peer.TakeReceived();
  QByteArray panic;
  for (int channel = 0; channel < 16; ++channel) panic += Bytes({0xB0 + channel, 120, 0});
  ASSERT_TRUE(received.endsWith(panic));
  const QByteArray transfer = received.left(received.size() - panic.size());
  ASSERT_TRUE(transfer.endsWith('\xF7'));  // the message in flight was ended
  // What left is the dump's beginning, closed by our F7 when it was cut inside a message.
  EXPECT_TRUE(dump.startsWith(transfer) || dump.startsWith(transfer.chopped(1)));
  EXPECT_LT(transfer.size(), dump.size());
  EXPECT_EQ(completions, 0);  // a cancelled transfer reports nothing
  EXPECT_EQ(output.SysExPending(), 0u);
}

// Starts the server `server` for this process's clients; its process id, or 0 when it did not
// start.
pid_t StartServerOfOurOwn(const QByteArray &server) {
  const std::string script = KELVANE_JACK_SCRIPT;
  if (std::system((script + " start " + server.toStdString()).c_str()) != 0) return 0;
  qputenv("JACK_DEFAULT_SERVER", server);
  const QByteArray tmp = qEnvironmentVariableIsEmpty("TMPDIR") ? "/tmp" : qgetenv("TMPDIR");
  QFile pidFile(QString::fromLocal8Bit(tmp + "/kelvane-jack-" + server + ".pid"));
  if (!pidFile.open(QIODevice::ReadOnly)) return 0;
  return static_cast<pid_t>(pidFile.readAll().trimmed().toInt());
}

// Runs only on a server of its own (see the test list): it stops that server with SIGSTOP.
TEST(JackStall, AStoppedServerIsAnsweredAtOnceAndClosingTakesLessThanTwoSeconds) {
  const QByteArray server = qgetenv("KELVANE_JACK_STALL_SERVER");
  if (server.isEmpty()) GTEST_SKIP() << "needs a server of its own";
  const std::string script = KELVANE_JACK_SCRIPT;
  const pid_t serverPid = StartServerOfOurOwn(server);
  ASSERT_GT(serverPid, 0);

  auto peer = std::make_unique<JackPeer>("stallpeer");
  auto backend = CreateMidiBackend("jack");
  auto output = std::make_unique<TMidiOutput>(*backend);
  output->SetProductName(QString::fromStdString(peer->Name() + ":in"));
  ASSERT_TRUE(output->OpenPort());
  auto input = std::make_unique<TMidiInput>(*backend);
  input->SetProductName(QString::fromStdString(peer->Name() + ":out"));
  input->OpenPort();
  ASSERT_TRUE(input->IsOpen());
  output->WriteShortMessage(0x90, 60, 100);
  // The connection is made on the client's request thread; a loaded machine takes its time.
  ASSERT_TRUE(WaitFor([&] { return peer->Received().size() == 3; }, 20000));

  ASSERT_EQ(kill(serverPid, SIGSTOP), 0);
  QElapsedTimer timer;
  timer.start();
  QString text;
  qint64 longestCall = 0;
  while (text.isEmpty() && timer.elapsed() < 5000) {
    QElapsedTimer call;
    call.start();
    try {
      output->WriteShortMessage(0xB0, 1, 1);
    } catch (const EmidioutputError &error) {
      text = error.Message();
    }
    longestCall = std::max(longestCall, call.elapsed());
    QTest::qWait(20);
  }
  EXPECT_EQ(text, backend->ErrorText(mrNotTaking).value());
  EXPECT_LT(longestCall, 250) << "a send waited for the stopped server";

  timer.restart();
  output->ClosePort();
  input->ClosePort();
  output.reset();
  input.reset();
  backend.reset();
  const qint64 closing = timer.elapsed();
  EXPECT_LT(closing, 2000);
  std::printf("closing on a stopped server took %lld ms\n", static_cast<long long>(closing));

  kill(serverPid, SIGCONT);
  peer.reset();
  std::system((script + " stop " + server.toStdString()).c_str());
}

// Counts the clients named "Kelvane-..." that the server adds and removes.
class ClientWatcher {
 public:
  ClientWatcher() {
    client_ = jack_client_open("watcher", JackNoStartServer, nullptr);
    if (!client_) return;
    jack_set_client_registration_callback(client_, &Registered, this);
    jack_activate(client_);
  }
  ~ClientWatcher() {
    if (client_) jack_client_close(client_);
  }
  int Added() const { return added_.load(); }
  int Removed() const { return removed_.load(); }

 private:
  // JACK's notification thread.
  static void Registered(const char *name, int registered, void *self) {
    if (std::strncmp(name, "Kelvane-", 8) != 0) return;
    auto &watcher = *static_cast<ClientWatcher *>(self);
    (registered ? watcher.added_ : watcher.removed_).fetch_add(1);
  }
  jack_client_t *client_ = nullptr;
  std::atomic<int> added_{0}, removed_{0};
};

// Runs only on a server of its own (see the test list): it stops that server with SIGSTOP.
TEST(JackStall, WhileTheServerIsStoppedPortsOpenAtOnceAndALateOpenIsClosed) {
  if (qEnvironmentVariableIsEmpty("KELVANE_JACK_STALL_SERVER"))
    GTEST_SKIP() << "needs a server of its own";
  const QByteArray server = qgetenv("KELVANE_JACK_STALL_SERVER") + "-late";
  const std::string script = KELVANE_JACK_SCRIPT;
  const pid_t serverPid = StartServerOfOurOwn(server);
  ASSERT_GT(serverPid, 0);

  ClientWatcher watcher;
  JackPeer peer("stallpeer");
  auto backend = CreateMidiBackend("jack");
  TMidiOutput output(*backend);
  output.SetProductName(QString::fromStdString(peer.Name() + ":in"));
  ASSERT_EQ(kill(serverPid, SIGSTOP), 0);

  // Nothing here asks the stopped server and waits for its answer: the port opens, and what it
  // sends waits for the connection.
  ASSERT_TRUE(output.OpenPort()) << output.ErrorText(output.LastError()).toStdString();
  EXPECT_FALSE(output.DeviceNames().isEmpty());
  // A second program's client, opened while the server is stopped and given up on before it
  // answers: once the server runs, that client is closed as well, not left active.
  EXPECT_EQ(CreateMidiBackend("jack")->Api(), "jack");

  ASSERT_EQ(kill(serverPid, SIGCONT), 0);
  const auto sendOnceRunning = [&] {  // refused while the server has run no cycle yet
    try {
      output.WriteShortMessage(0x90, 61, 100);
      return true;
    } catch (const EmidioutputError &) {
      return false;
    }
  };
  ASSERT_TRUE(WaitFor(sendOnceRunning, 5000));
  EXPECT_TRUE(WaitFor(
      [&] {
        return peer.Received() == Bytes({0x90, 61, 100});
      },
      5000))
      << peer.Received().toHex().toStdString();
  EXPECT_TRUE(WaitFor([&] { return watcher.Added() == 1 && watcher.Removed() == 1; }, 5000))
      << watcher.Added() << " added, " << watcher.Removed() << " removed";
  output.ClosePort();
  std::system((script + " stop " + server.toStdString()).c_str());
}

}  // namespace
