// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// SysEx throughput and memory over a real JACK server (JACK_DEFAULT_SERVER): a 4 MiB dump in
// 8 KiB messages received by Kelvane's window and by its input port alone, a 4 MiB .syx file
// sent by the window and by its output port alone, each beside raw JACK between two plain
// clients with the same message sizes. The window is built offscreen and its SysEx handlers are
// called as their buttons would; dialogs are answered by FakeDialogs.
//
// After Google Benchmark's own table, the program prints the ROW lines of tools/bench.sh.
#include <benchmark/benchmark.h>
#include <jack/jack.h>
#include <malloc.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <chrono>
#include <functional>
#include <map>
#include <memory>

#include "BenchJackPeer.h"
#include "BenchSupport.h"
#include "WindowBenchMain.h"
// GCC 12 at -O2 takes the optional<QString> that FakeDialogs hands back for uninitialised.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include "FakeDialogs.h"
#pragma GCC diagnostic pop
#include "JackPeer.h"
#include "MidiBackends.h"
#include "MidiIn.h"
#include "MidiOut.h"
#include "Unit1.h"

namespace {

constexpr size_t kDumpBytes = size_t{4} << 20;

// A dump of kDumpBytes in whole SysEx messages of `messageBytes` each (F0 7D ... F7, data bytes
// counting up below 128).
std::vector<QByteArray> DumpMessages(size_t messageBytes) {
  std::vector<QByteArray> messages;
  for (size_t sent = 0; sent < kDumpBytes; sent += messageBytes) {
    QByteArray message(static_cast<qsizetype>(messageBytes), 0);
    message[0] = static_cast<char>(0xF0);
    message[1] = 0x7D;
    for (qsizetype i = 2; i + 1 < message.size(); ++i) message[i] = static_cast<char>(i & 0x7F);
    message[message.size() - 1] = static_cast<char>(0xF7);
    messages.push_back(message);
  }
  return messages;
}

QByteArray Joined(const std::vector<QByteArray> &messages) {
  QByteArray all;
  for (const QByteArray &m : messages) all += m;
  return all;
}

// Runs the GUI thread's events until `done` holds or `stalled` says nothing moves any more.
// Returns whether `done` came true.
bool PumpUntil(const std::function<bool()> &done, const std::function<bool()> &stalled) {
  while (!done()) {
    if (stalled()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::usleep(500);
  }
  return true;
}

// True once `count()` has not grown for `quietMicros` (checked on every call).
std::function<bool()> StallWatch(std::function<size_t()> count, uint64_t quietMicros) {
  auto last = std::make_shared<size_t>(count());
  auto since = std::make_shared<uint64_t>(bench::NowMicros());
  return [=] {
    const size_t now = count();
    if (now != *last) {
      *last = now;
      *since = bench::NowMicros();
    }
    return bench::NowMicros() - *since > quietMicros;
  };
}

struct Figure {
  double mbPerSecond = 0;
  double peakGrowthMiB = 0;
  size_t bytesArrived = 0;
  std::string problem;
};
std::map<std::string, Figure> figures;
jack_nframes_t period = 0;

// Measures one transfer: memory from a fresh peak, time from `start` until `finish` is done.
template <class Start, class Finish>
void Measure(benchmark::State &state, const std::string &name, Start start, Finish finish) {
  for (auto _ : state) {
    malloc_trim(0);  // what earlier transfers freed goes back, so the peak counts this one alone
    bench::ResetPeakRss();
    const long before = bench::StatusKiB("self", "VmRSS");
    const auto begun = std::chrono::steady_clock::now();
    start();
    Figure figure = finish();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
    state.SetIterationTime(seconds);
    figure.mbPerSecond = static_cast<double>(kDumpBytes) / 1e6 / seconds;
    figure.peakGrowthMiB = static_cast<double>(bench::StatusKiB("self", "VmHWM") - before) / 1024.0;
    state.counters["MB/s"] = figure.mbPerSecond;
    state.counters["peak+MiB"] = figure.peakGrowthMiB;
    state.counters["arrived"] = static_cast<double>(figure.bytesArrived);
    if (!figure.problem.empty()) state.SkipWithError(figure.problem.c_str());
    figures[name] = figure;
  }
}

// Kelvane's device number of a JACK port: its place among the server's MIDI ports of that
// direction (JackPortIsInput ports are Kelvane's outputs).
int DeviceIndexOf(const std::string &port, unsigned long flags) {
  jack_client_t *probe = jack_client_open("benchprobe", JackNoStartServer, nullptr);
  const int index = bench::JackMidiPortIndex(probe, port, flags);
  jack_client_close(probe);
  return index;
}

// Receivers count bytes as they arrive and keep none, so the memory figures are the sender's.
std::function<size_t()> BytesAt(const bench::BenchJackPeer &receiver) {
  return [&receiver] { return static_cast<size_t>(receiver.BytesSeen()); };
}

// Raw JACK: one plain client sends the dump to another, as many whole messages per period as
// the period's buffer holds.
void BM_JackPeerToPeer(benchmark::State &state) {
  const auto messageBytes = static_cast<size_t>(state.range(0));
  JackPeer sender("benchsend");
  bench::BenchJackPeer receiver("benchrecv", true, false);
  if (!sender.Ok() || !receiver.Ok()) return state.SkipWithError("no JACK server");
  period = receiver.Period();
  jack_connect(receiver.Client(), (sender.Name() + ":out").c_str(), receiver.InputName().c_str());
  QThread::msleep(50);
  const std::vector<QByteArray> dump = DumpMessages(messageBytes);
  Measure(
      state, "peer-to-peer " + std::to_string(messageBytes), [&] { sender.Send(dump); },
      [&] {
        Figure figure;
        auto arrived = BytesAt(receiver);
        PumpUntil([&] { return arrived() >= kDumpBytes; }, StallWatch(arrived, 2'000'000));
        figure.bytesArrived = arrived();
        if (figure.bytesArrived != kDumpBytes) figure.problem = "bytes lost between JACK clients";
        return figure;
      });
}
BENCHMARK(BM_JackPeerToPeer)
    ->Arg(8192)
    ->Arg(4096)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The output port alone: one WriteSysEx of the whole dump.
void BM_PortSysexSend(benchmark::State &state) {
  bench::BenchJackPeer receiver("benchrecv", true, false);
  if (!receiver.Ok()) return state.SkipWithError("no JACK server");
  std::unique_ptr<MidiBackend> backend = CreateMidiBackend("jack");
  TMidiOutput output(*backend);
  output.SetDeviceID(DeviceIndexOf(receiver.InputName(), JackPortIsInput));
  if (!output.OpenPort()) return state.SkipWithError("the output port did not open");
  QThread::msleep(50);
  const QByteArray dump = Joined(DumpMessages(8192));
  Measure(
      state, "port send",
      [&] { output.WriteSysEx(reinterpret_cast<const uint8_t *>(dump.constData()), dump.size()); },
      [&] {
        Figure figure;
        auto arrived = BytesAt(receiver);
        PumpUntil([&] { return arrived() >= kDumpBytes; }, StallWatch(arrived, 2'000'000));
        figure.bytesArrived = arrived();
        if (figure.bytesArrived != kDumpBytes)
          figure.problem = "lost bytes: " + std::to_string(kDumpBytes - figure.bytesArrived) +
                           " of " + std::to_string(kDumpBytes) + ", LastError " +
                           std::to_string(output.LastError());
        return figure;
      });
  output.ClosePort();
}
BENCHMARK(BM_PortSysexSend)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// The output port alone to a hardware port (flagged physical): paced at MIDI's wire speed, so
// 16 KiB in 512-byte messages, not the 4 MiB dump. Its figure is in bytes per second.
constexpr size_t kHardwareBytes = 16 * 1024;
double hardwareBytesPerSecond = 0;

void BM_PortSysexSendHardware(benchmark::State &state) {
  bench::BenchJackPeer receiver("benchcable", true, false, /*physical=*/true);
  if (!receiver.Ok()) return state.SkipWithError("no JACK server");
  std::unique_ptr<MidiBackend> backend = CreateMidiBackend("jack");
  TMidiOutput output(*backend);
  output.SetDeviceID(DeviceIndexOf(receiver.InputName(), JackPortIsInput));
  if (!output.OpenPort()) return state.SkipWithError("the output port did not open");
  if (output.WirePacing() != MidiOutPacing::HardwareWire)
    return state.SkipWithError("the port is not taken for hardware");
  QThread::msleep(50);
  QByteArray file;
  for (const QByteArray &message : DumpMessages(512)) {
    if (static_cast<size_t>(file.size()) >= kHardwareBytes) break;
    file += message;
  }
  for (auto _ : state) {
    auto arrived = BytesAt(receiver);
    const auto begun = std::chrono::steady_clock::now();
    output.WriteSysEx(reinterpret_cast<const uint8_t *>(file.constData()), file.size());
    PumpUntil([&] { return arrived() >= kHardwareBytes; }, StallWatch(arrived, 2'000'000));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
    state.SetIterationTime(seconds);
    hardwareBytesPerSecond = static_cast<double>(arrived()) / seconds;
    state.counters["B/s"] = hardwareBytesPerSecond;
    if (arrived() != kHardwareBytes) state.SkipWithError("lost bytes");
  }
  output.ClosePort();
}
BENCHMARK(BM_PortSysexSendHardware)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// The input port alone, set up as the window sets it up, drained on every OnMidiInput.
void BM_PortSysexReceive(benchmark::State &state) {
  JackPeer sender("benchsend");
  if (!sender.Ok()) return state.SkipWithError("no JACK server");
  std::unique_ptr<MidiBackend> backend = CreateMidiBackend("jack");
  TMidiInput input(*backend);
  input.SetDeviceID(static_cast<uint16_t>(DeviceIndexOf(sender.Name() + ":out", JackPortIsOutput)));
  input.SetCapacity(2048);
  input.SetSysexBufferSize(5120);
  input.SetSysexBufferCount(32);
  input.SetSysexOnly(true);
  size_t received = 0, overflows = 0;
  input.OnMidiInput = [&](QObject *) {
    while (std::unique_ptr<TMyMidiEvent> event = input.ReadEvent())
      received += event->SysExByteCount;
  };
  input.OnOverflow = [&](QObject *) { ++overflows; };
  input.OpenPort();
  input.StartInput();
  QThread::msleep(50);
  const std::vector<QByteArray> dump = DumpMessages(8192);
  Measure(
      state, "port receive", [&] { sender.Send(dump); },
      [&] {
        Figure figure;
        PumpUntil([&] { return received >= kDumpBytes; },
                  StallWatch([&] { return received; }, 2'000'000));
        figure.bytesArrived = received;
        if (received != kDumpBytes)
          figure.problem = "bytes lost (" + std::to_string(overflows) + " overflows)";
        return figure;
      });
  input.ClosePort();
}
BENCHMARK(BM_PortSysexReceive)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// A window over the JACK service whose output is the port `outputPort` and whose input is the
// port `inputPort` (none: the window's own choice).
struct WindowOverJack {
  WindowOverJack(const std::string &outputPort, const std::string &inputPort) {
    QFile store(dir.filePath("kelvane.ini"));
    store.open(QIODevice::WriteOnly);
    QString text =
        QStringLiteral("[setup]\nout=%1\n").arg(DeviceIndexOf(outputPort, JackPortIsInput));
    if (!inputPort.empty())
      text += QStringLiteral("in=%1\n").arg(DeviceIndexOf(inputPort, JackPortIsOutput));
    store.write(text.toUtf8());
    store.close();
    backend = CreateMidiBackend("jack");
    window = std::make_unique<TForm1>(*backend, store.fileName());
  }
  QTemporaryDir dir;
  FakeDialogs dialogs;
  std::unique_ptr<MidiBackend> backend;
  std::unique_ptr<TForm1> window;
};

// "Send SysEx File.." with a 4 MiB .syx file, until its last byte reaches the peer.
void BM_WindowSysexSend(benchmark::State &state) {
  bench::BenchJackPeer receiver("benchrecv", true, false);
  if (!receiver.Ok()) return state.SkipWithError("no JACK server");
  WindowOverJack app(receiver.InputName(), "");
  const QString file = app.dir.filePath("dump.syx");
  QFile syx(file);
  syx.open(QIODevice::WriteOnly);
  syx.write(Joined(DumpMessages(8192)));
  syx.close();
  QThread::msleep(50);
  TForm1 &window = *app.window;
  Measure(
      state, "window send",
      [&] {
        app.dialogs.fileNames.push_back(file);
        window.Guard([&] { window.SendbtnClick(window.Sendbtn); });
      },
      [&] {
        Figure figure;
        auto arrived = BytesAt(receiver);
        PumpUntil([&] { return arrived() >= kDumpBytes; }, StallWatch(arrived, 2'000'000));
        figure.bytesArrived = arrived();
        if (figure.bytesArrived == 0)
          figure.problem = "nothing arrived: SendbtnClick sent nothing";
        else if (figure.bytesArrived != kDumpBytes)
          figure.problem = "lost bytes: " + std::to_string(kDumpBytes - figure.bytesArrived) +
                           " of " + std::to_string(kDumpBytes);
        if (!app.dialogs.errors.isEmpty())
          figure.problem += " (" + app.dialogs.errors.front().toStdString() + ")";
        return figure;
      });
}
BENCHMARK(BM_WindowSysexSend)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// "Receive SysEx..", the peer sends the 4 MiB dump, "click here when done receiving SysEX" once
// the port has nothing more; the figure counts until the file is written.
void BM_WindowSysexReceive(benchmark::State &state) {
  JackPeer sender("benchsend");
  if (!sender.Ok()) return state.SkipWithError("no JACK server");
  WindowOverJack app(sender.Name() + ":in", sender.Name() + ":out");
  const QString file = app.dir.filePath("received.syx");
  TForm1 &window = *app.window;
  QThread::msleep(50);
  const std::vector<QByteArray> dump = DumpMessages(8192);
  Measure(
      state, "window receive",
      [&] {
        app.dialogs.fileNames.push_back(file);
        window.Guard([&] { window.GetBtnClick(window.GetBtn); });
        sender.Send(dump);
      },
      [&] {
        Figure figure;
        // The last message is in Kelvane's port once the peer's cycle has sent it; then the
        // window takes what is pending.
        PumpUntil([&] { return sender.SendsDone(); }, [] { return false; });
        PumpUntil([&] { return window.MidiInput1->PendingCount() == 0; },
                  StallWatch([&] { return window.MidiInput1->PendingCount(); }, 2'000'000));
        const uint64_t settle = bench::NowMicros() + 50'000;
        PumpUntil([&] { return bench::NowMicros() > settle; }, [] { return false; });
        window.Guard([&] { window.doneBTNClick(window.doneBTN); });
        figure.bytesArrived = static_cast<size_t>(QFileInfo(file).size());
        if (!QFile::exists(file))
          figure.problem = "no file written: the window kept nothing";
        else if (figure.bytesArrived != kDumpBytes)
          figure.problem = "the file holds " + std::to_string(figure.bytesArrived) + " of " +
                           std::to_string(kDumpBytes) + " bytes";
        return figure;
      });
}
BENCHMARK(BM_WindowSysexReceive)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

std::string Describe(const std::string &name) {
  auto found = figures.find(name);
  if (found == figures.end()) return "not run";
  const Figure &f = found->second;
  if (f.bytesArrived == 0) return f.problem;
  std::string text = bench::Format("%.2f MB/s", f.mbPerSecond) + ", peak +" +
                     bench::Format("%.1f MiB", f.peakGrowthMiB);
  if (!f.problem.empty()) text += "; " + f.problem;
  return text;
}

void PrintRows() {
  const std::string p = " (period " + std::to_string(period) + ")";
  const std::string floor8 = "peer-to-peer: " + Describe("peer-to-peer 8192");
  bench::PrintRow("SysEx ingest 4 MiB/8 KiB msgs, window" + p, Describe("window receive"), floor8,
                  "-", "-");
  bench::PrintRow("SysEx ingest 4 MiB, input port alone" + p, Describe("port receive"), floor8, "-",
                  "-");
  bench::PrintRow("SysEx send 4 MiB .syx, window" + p, Describe("window send"), floor8, "-", "-");
  bench::PrintRow("SysEx send 4 MiB, output port alone" + p, Describe("port send"),
                  "peer-to-peer 4 KiB msgs: " + Describe("peer-to-peer 4096"), "-", "-");
  bench::PrintRow("SysEx send 16 KiB to a hardware port, output port alone" + p,
                  hardwareBytesPerSecond > 0 ? bench::Format("%.0f bytes/s", hardwareBytesPerSecond)
                                             : std::string("not run"),
                  "MIDI wire: 3125 bytes/s", "-", "-");
}

}  // namespace

int main(int argc, char **argv) {
  return bench::RunWindowBenchmarks(argc, argv, &PrintRows);
}
