// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Whole-program figures for the real kelvane executable, measured from outside: it runs under
// an X server (DISPLAY) and a JACK server (JACK_DEFAULT_SERVER) that the caller provides, gets
// real X input through XTest, and its MIDI is time-stamped by a JACK peer of ours.
//
//   kelvane_drive startup --kelvane PATH --floor PATH [--baseline PATH] [--runs N] --workdir DIR
//   kelvane_drive keys    --kelvane PATH [--presses N] --workdir DIR
//   kelvane_drive drag    --kelvane PATH --floor PATH [--moves N] [--interval-us U] --workdir DIR
//
// Every figure is printed beside a baseline measured in the same run; nothing is asserted.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "BenchJackPeer.h"
#include "BenchSupport.h"

namespace {

using bench::NowMicros;

std::map<std::string, std::string> ParseOptions(int argc, char **argv) {
  std::map<std::string, std::string> options;
  for (int i = 2; i + 1 < argc; i += 2) {
    std::string name = argv[i];
    if (name.rfind("--", 0) != 0) throw std::runtime_error("unexpected argument " + name);
    options[name.substr(2)] = argv[i + 1];
  }
  return options;
}

std::string Option(const std::map<std::string, std::string> &options, const std::string &name,
                   const std::string &fallback = "") {
  auto found = options.find(name);
  if (found != options.end()) return found->second;
  if (fallback.empty()) throw std::runtime_error("missing --" + name);
  return fallback;
}

// ---- child processes ----

struct Child {
  pid_t pid = -1;
  int stdoutPipe = -1;  // read end, when captured
};

// Starts `program` with `args`; its stdout goes to a pipe (`capture`) or to `logFile`, its
// stderr to `logFile`.
Child Start(const std::string &program, const std::vector<std::string> &args, bool capture,
            const std::string &logFile) {
  int pipeFds[2] = {-1, -1};
  if (capture && pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int log = open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (log >= 0) dup2(log, 2);
    if (capture) {
      dup2(pipeFds[1], 1);
      close(pipeFds[0]);
      close(pipeFds[1]);
    } else if (log >= 0) {
      dup2(log, 1);
    }
    std::vector<char *> argv{const_cast<char *>(program.c_str())};
    for (const std::string &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  if (capture) close(pipeFds[1]);
  return {pid, capture ? pipeFds[0] : -1};
}

// Terminates the child (SIGTERM, then SIGKILL after 5 s) and returns its peak resident size in
// KiB from wait4's rusage.
long Stop(Child &child) {
  kill(child.pid, SIGTERM);
  rusage usage{};
  int status = 0;
  const uint64_t deadline = NowMicros() + 5'000'000;
  while (wait4(child.pid, &status, WNOHANG, &usage) == 0) {
    if (NowMicros() > deadline) {
      kill(child.pid, SIGKILL);
      wait4(child.pid, &status, 0, &usage);
      break;
    }
    bench::SleepMicros(2000);
  }
  child.pid = -1;
  return usage.ru_maxrss;
}

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  close(fd);
  return text;
}

// CPU time of a process (all threads) and of its main thread, in microseconds.
struct CpuTimes {
  double process = 0, mainThread = 0;
};

CpuTimes ReadCpu(pid_t pid) {
  CpuTimes times;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  // Fields after the command name, which ends with the last ')': state is field 3, utime 14.
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  double utime = 0, stime = 0;
  for (int i = 3; fields >> field; ++i) {
    if (i == 14) utime = std::stod(field);
    if (i == 15) {
      stime = std::stod(field);
      break;
    }
  }
  times.process = (utime + stime) * 1e6 / static_cast<double>(sysconf(_SC_CLK_TCK));
  std::ifstream schedstat("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) +
                          "/schedstat");
  double runNanos = 0;
  schedstat >> runNanos;
  times.mainThread = runNanos / 1000.0;
  return times;
}

// ---- X ----

class XSession {
 public:
  XSession() {
    display_ = XOpenDisplay(nullptr);
    if (!display_) throw std::runtime_error("cannot open the X display");
    int event, error, major, minor;
    if (!XTestQueryExtension(display_, &event, &error, &major, &minor))
      throw std::runtime_error("the X server has no XTEST");
    root_ = DefaultRootWindow(display_);
    XSelectInput(display_, root_, SubstructureNotifyMask);
    pidAtom_ = XInternAtom(display_, "_NET_WM_PID", False);
  }
  ~XSession() { XCloseDisplay(display_); }
  Display *display() const { return display_; }

  // Waits for a top-level window of process `pid` to be mapped; returns it (0 on time-out) and
  // the time it was seen.
  Window WaitForMap(pid_t pid, uint64_t timeoutMicros, uint64_t &mappedAt) {
    const uint64_t deadline = NowMicros() + timeoutMicros;
    while (NowMicros() < deadline) {
      while (XPending(display_)) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type != MapNotify || event.xmap.override_redirect) continue;
        const uint64_t seen = NowMicros();
        if (PidOf(event.xmap.window) != pid) continue;
        mappedAt = seen;
        return event.xmap.window;
      }
      pollfd fd{ConnectionNumber(display_), POLLIN, 0};
      poll(&fd, 1, 10);
    }
    return 0;
  }

  void Origin(Window window, int &x, int &y) {
    Window child;
    XTranslateCoordinates(display_, window, root_, 0, 0, &x, &y, &child);
  }
  void Focus(Window window) {
    XSetInputFocus(display_, window, RevertToParent, CurrentTime);
    XSync(display_, False);
  }
  void MoveTo(int x, int y) {
    XTestFakeMotionEvent(display_, DefaultScreen(display_), x, y, CurrentTime);
    XFlush(display_);
  }
  void Button(bool press) {
    XTestFakeButtonEvent(display_, 1, press, CurrentTime);
    XFlush(display_);
  }
  void Key(KeyCode code, bool press) {
    XTestFakeKeyEvent(display_, code, press, CurrentTime);
    XFlush(display_);
  }
  KeyCode CodeOf(KeySym sym) { return XKeysymToKeycode(display_, sym); }
  void Sync() { XSync(display_, False); }

 private:
  pid_t PidOf(Window window) {
    Atom type;
    int format;
    unsigned long items = 0, after = 0;
    unsigned char *data = nullptr;
    pid_t pid = -1;
    if (XGetWindowProperty(display_, window, pidAtom_, 0, 1, False, XA_CARDINAL, &type, &format,
                           &items, &after, &data) == Success &&
        data && items == 1)
      pid = static_cast<pid_t>(*reinterpret_cast<unsigned long *>(data));
    if (data) XFree(data);
    return pid;
  }

  Display *display_ = nullptr;
  Window root_ = 0;
  Atom pidAtom_ = 0;
};

// ---- Kelvane with a store of our making ----

void WriteStore(const std::string &path, const std::string &text) {
  std::ofstream(path, std::ios::trunc) << text;
}

struct RunningKelvane {
  Child child;
  Window window = 0;
};

// Starts kelvane on the JACK service with the store at `storePath`, and waits until its window
// is mapped and (when `peer` is given) its output is connected to the peer's input.
RunningKelvane StartKelvane(XSession &x, const std::string &kelvane, const std::string &storePath,
                            const std::string &log, bench::BenchJackPeer *peer) {
  RunningKelvane running;
  running.child = Start(kelvane, {"--settings", storePath, "--midi-api", "jack"}, false, log);
  uint64_t mapped = 0;
  running.window = x.WaitForMap(running.child.pid, 20'000'000, mapped);
  if (!running.window) throw std::runtime_error("kelvane showed no window (see " + log + ")");
  const uint64_t deadline = NowMicros() + 10'000'000;
  while (peer && !peer->InputConnected() && NowMicros() < deadline) bench::SleepMicros(5000);
  if (peer && !peer->InputConnected())
    throw std::runtime_error("kelvane did not connect to the peer (see " + log + ")");
  bench::SleepMicros(300'000);  // let the start-up finish painting before input arrives
  return running;
}

// ---- startup ----

struct Variant {
  Variant(std::string name_, bool kelvane_, std::string api_, std::string chosenOutput_ = {},
          std::string program_ = "kelvane")
      : name(std::move(name_)),
        kelvane(kelvane_),
        api(std::move(api_)),
        chosenOutput(std::move(chosenOutput_)),
        program(std::move(program_)) {}
  std::string name;
  bool kelvane;
  std::string api;           // kelvane's --midi-api, or "jack" for the floor with a JACK client
  std::string chosenOutput;  // kelvane: the output device its settings name, if any
  std::string program;       // kelvane: the option naming the executable (--kelvane, --baseline)
  std::vector<double> mapMs, rssMiB, paintMs;
};

// A settings file in which the musician chose `device` as the output on an earlier start.
void WriteChosenOutput(const std::string &store, const std::string &device) {
  std::ofstream file(store);
  file << "[setup]\nout=0\noutname=" << device << "\n";
}

void RunVariant(XSession &x, Variant &v, const std::map<std::string, std::string> &options,
                int run) {
  const std::string workdir = Option(options, "workdir");
  const std::string store = workdir + "/startup-" + std::to_string(run) + ".ini";
  std::remove(store.c_str());
  if (!v.chosenOutput.empty()) WriteChosenOutput(store, v.chosenOutput);
  const uint64_t started = NowMicros();
  Child child =
      v.kelvane
          ? Start(Option(options, v.program), {"--settings", store, "--midi-api", v.api}, false,
                  workdir + "/kelvane-startup.log")
          : Start(Option(options, "floor"),
                  v.api.empty() ? std::vector<std::string>{} : std::vector<std::string>{"--jack"},
                  true, workdir + "/floor.log");
  uint64_t mapped = 0;
  const Window window = x.WaitForMap(child.pid, 20'000'000, mapped);
  bench::SleepMicros(500'000);  // settle: paint, finish the start-up, then measure memory
  const long rssKiB = Stop(child);
  if (!window) throw std::runtime_error(v.name + " mapped no window");
  v.mapMs.push_back(static_cast<double>(mapped - started) / 1000.0);
  v.rssMiB.push_back(static_cast<double>(rssKiB) / 1024.0);
  if (!v.kelvane) {
    unsigned long long painted = 0;
    if (std::sscanf(ReadAll(child.stdoutPipe).c_str(), "painted %llu", &painted) == 1)
      v.paintMs.push_back(static_cast<double>(painted - started) / 1000.0);
  }
}

std::string MedianMax(const bench::Summary &s, const char *unit) {
  return bench::Format("%.1f", s.median) + "/" + bench::Format("%.1f", s.max) + " " + unit;
}

int Startup(const std::map<std::string, std::string> &options) {
  const int runs = std::stoi(Option(options, "runs", "10"));
  XSession x;
  bench::BenchJackPeer synth("startupsynth", /*withInput=*/true, /*withOutput=*/false);
  if (!synth.Ok()) throw std::runtime_error("no JACK server for the start-up synth");
  std::vector<Variant> variants{{"floor", false, ""},
                                {"floor + 1 JACK client", false, "jack"},
                                {"kelvane --midi-api loopback", true, "loopback"},
                                {"kelvane --midi-api jack", true, "jack"},
                                {"kelvane, jack, chosen synth", true, "jack", synth.InputName()}};
  // Another build of Kelvane (an earlier commit, say), measured in the same rounds.
  const bool baseline = options.count("baseline") > 0;
  if (baseline) {
    variants.emplace_back("baseline --midi-api jack", true, "jack", "", "baseline");
    variants.emplace_back("baseline, chosen synth", true, "jack", synth.InputName(), "baseline");
  }
  // Round robin, so that the machine's load falls on all alike.
  for (int run = 0; run < runs; ++run)
    for (Variant &v : variants) RunVariant(x, v, options, run);

  std::printf(
      "startup: %d runs each, round robin; fork to the window's MapNotify; max RSS from "
      "wait4 (median/max)\n",
      runs);
  for (const Variant &v : variants) {
    const bench::Summary t = bench::Summarise(v.mapMs), m = bench::Summarise(v.rssMiB);
    std::printf("  %-28s %s   %s", v.name.c_str(), MedianMax(t, "ms").c_str(),
                MedianMax(m, "MiB").c_str());
    if (!v.paintMs.empty())
      std::printf("   (first paint %.1f ms after map)",
                  bench::Summarise(v.paintMs).median - t.median);
    std::printf("\n");
  }
  const bench::Summary floorT = bench::Summarise(variants[0].mapMs);
  const bench::Summary floorM = bench::Summarise(variants[0].rssMiB);
  const bench::Summary jackT = bench::Summarise(variants[1].mapMs);
  const bench::Summary jackM = bench::Summarise(variants[1].rssMiB);
  const bench::Summary loopT = bench::Summarise(variants[2].mapMs);
  const bench::Summary loopM = bench::Summarise(variants[2].rssMiB);
  const bench::Summary kT = bench::Summarise(variants[3].mapMs);
  const bench::Summary kM = bench::Summarise(variants[3].rssMiB);
  const bench::Summary chosenT = bench::Summarise(variants[4].mapMs);
  const double allowance = 15e6 / (1 << 20);  // 15 MB in MiB
  bench::PrintRow("start to first window, jack (median/max)", MedianMax(kT, "ms"),
                  MedianMax(floorT, "ms") + " floor", "median <= 2x floor",
                  bench::YesNo(kT.median <= 2 * floorT.median));
  bench::PrintRow("peak memory (max RSS), jack", MedianMax(kM, "MiB"),
                  MedianMax(floorM, "MiB") + " floor", "<= floor + 15 MB",
                  bench::YesNo(kM.median <= floorM.median + allowance));
  bench::PrintRow("  same, beside floor + 1 JACK client", MedianMax(kM, "MiB"),
                  MedianMax(jackM, "MiB"), "(info)",
                  bench::YesNo(kM.median <= jackM.median + allowance));
  bench::PrintRow("start, no device chosen, beside floor + 1 JACK client", MedianMax(kT, "ms"),
                  MedianMax(jackT, "ms"), "median <= 1.3x",
                  bench::YesNo(kT.median <= 1.3 * jackT.median));
  bench::PrintRow("start, a synth chosen, beside floor + 1 JACK client", MedianMax(chosenT, "ms"),
                  MedianMax(jackT, "ms"), "median <= 1.3x",
                  bench::YesNo(chosenT.median <= 1.3 * jackT.median));
  bench::PrintRow(
      "  start/memory, kelvane on loopback",
      MedianMax(loopT, "ms") + ", " + MedianMax(loopM, "MiB"), "floor", "(info)",
      bench::YesNo(loopT.median <= 2 * floorT.median && loopM.median <= floorM.median + allowance));
  return 0;
}

// ---- keys ----

bool IsNoteOn(const bench::Arrival &a) {
  return a.size == 3 && (a.bytes[0] & 0xF0) == 0x90 && a.bytes[2] > 0;
}
bool IsNoteOff(const bench::Arrival &a) {
  return a.size == 3 &&
         ((a.bytes[0] & 0xF0) == 0x80 || ((a.bytes[0] & 0xF0) == 0x90 && a.bytes[2] == 0));
}

// Waits for an arrival that `wanted` accepts; its time, or 0 on time-out.
uint64_t WaitFor(bench::BenchJackPeer &peer,
                 const std::function<bool(const bench::Arrival &)> &wanted,
                 uint64_t timeoutMicros) {
  const uint64_t deadline = NowMicros() + timeoutMicros;
  while (NowMicros() < deadline) {
    while (auto arrival = peer.Next())
      if (wanted(*arrival)) return arrival->micros;
    bench::SleepMicros(100);
  }
  return 0;
}

void Drain(bench::BenchJackPeer &peer) {
  while (peer.Next()) {
  }
}

// Presses (and releases) `presses` times with `press`/`release`, each press at a random phase of
// the JACK period; returns the press-to-note-on latencies in ms. Missing note-ons are counted.
std::vector<double> MeasurePresses(bench::BenchJackPeer &peer, int presses,
                                   const std::function<void()> &press,
                                   const std::function<void()> &release, int &missing) {
  std::mt19937 random(12345);
  const auto periodMicros = static_cast<unsigned>(1e6 * peer.Period() / peer.Rate());
  std::uniform_int_distribution<unsigned> phase(0, periodMicros);
  std::vector<double> latencies;
  missing = 0;
  for (int i = 0; i < presses; ++i) {
    Drain(peer);
    bench::SleepMicros(1000 + phase(random));
    const uint64_t pressed = NowMicros();
    press();
    // A second at most: a non-realtime JACK server on a busy machine may stall a while.
    const uint64_t arrived = WaitFor(peer, IsNoteOn, 1'000'000);
    if (arrived)
      latencies.push_back(static_cast<double>(static_cast<int64_t>(arrived - pressed)) / 1000.0);
    else
      ++missing;
    release();
    WaitFor(peer, IsNoteOff, 100'000);
    // Stop early when nothing comes at all: the path is not there, not slow.
    if (i == 2 && missing == 3) {
      missing = presses;
      break;
    }
  }
  return latencies;
}

int Keys(const std::map<std::string, std::string> &options) {
  const std::string kelvane = Option(options, "kelvane"), workdir = Option(options, "workdir");
  const int presses = std::stoi(Option(options, "presses", "500"));
  XSession x;
  // The peer is the only JACK MIDI input with no output of its own yet, so Kelvane finds no
  // input device to open and its output list is exactly the server's input ports.
  bench::BenchJackPeer peer("benchpeer", true, false);
  if (!peer.Ok()) throw std::runtime_error("no JACK server");
  const int out = bench::JackMidiPortIndex(peer.Client(), peer.InputName(), JackPortIsInput);
  const double periodMs = 1000.0 * peer.Period() / peer.Rate();
  const std::string store = workdir + "/keys.ini";
  WriteStore(store, "[setup]\nout=" + std::to_string(out) + "\ncomkeymode=1\n");

  RunningKelvane app = StartKelvane(x, kelvane, store, workdir + "/kelvane-keys.log", &peer);
  int wx = 0, wy = 0;
  x.Origin(app.window, wx, wy);
  x.MoveTo(wx + 260, wy + 150);  // over the window: keys go where the pointer and focus are
  x.Focus(app.window);
  bench::SleepMicros(100'000);
  const KeyCode z = x.CodeOf(XK_z);  // the lowest note key
  int kelvaneMissing = 0;
  std::vector<double> kelvaneMs = MeasurePresses(
      peer, presses, [&] { x.Key(z, true); }, [&] { x.Key(z, false); }, kelvaneMissing);
  Stop(app.child);

  // The floor: a second JACK client of this process sends the note-on from a plain thread, as
  // fast as JACK carries it to the same peer.
  bench::BenchJackPeer sender("benchsender", false, true);
  jack_connect(peer.Client(), sender.OutputName().c_str(), peer.InputName().c_str());
  bench::SleepMicros(100'000);
  int floorMissing = 0;
  std::vector<double> floorMs = MeasurePresses(
      peer, presses, [&] { sender.QueueShort(0x90, 60, 100); },
      [&] { sender.QueueShort(0x80, 60, 0); }, floorMissing);

  const bench::Summary k = bench::Summarise(kelvaneMs), f = bench::Summarise(floorMs);
  const std::string period = std::to_string(peer.Period()) + " fr @ " +
                             std::to_string(peer.Rate() / 1000) +
                             " kHz = " + bench::Format("%.2f ms", periodMs);
  std::printf("keys: JACK period %s; %d presses each; press to note-on at the peer\n",
              period.c_str(), presses);
  std::printf("  kelvane   median %.2f  p99 %.2f  max %.2f ms  (%zu arrived, %d missing)\n",
              k.median, k.p99, k.max, k.count, kelvaneMissing);
  std::printf("  loopback  median %.2f  p99 %.2f  max %.2f ms  (%zu arrived, %d missing)\n",
              f.median, f.p99, f.max, f.count, floorMissing);
  const std::string name = "key to note-on, period " + std::to_string(peer.Period());
  const double target = periodMs + 0.5;
  if (k.count == 0) {
    bench::PrintRow(name + " (median/p99)", "no note-on arrived",
                    bench::Format("%.2f", f.median) + "/" + bench::Format("%.2f ms", f.p99),
                    bench::Format("median <= %.2f ms", target), "no");
    return 0;
  }
  std::string value = bench::Format("%.2f", k.median) + "/" + bench::Format("%.2f ms", k.p99);
  if (kelvaneMissing) value += " (" + std::to_string(kelvaneMissing) + " missing)";
  bench::PrintRow(name + " (median/p99)", value,
                  bench::Format("%.2f", f.median) + "/" + bench::Format("%.2f ms", f.p99),
                  bench::Format("median <= %.2f ms", target),
                  bench::YesNo(k.median <= target && kelvaneMissing == 0));
  return 0;
}

// ---- drag ----

struct DragResult {
  uint64_t messages = 0;      // all events at the peer during the drag
  uint64_t knobMessages = 0;  // of them, the dragged knob's controller messages
  double micros = 0;          // wall time of the moves
  CpuTimes cpu;               // consumed during the drag (and until its messages were out)
};

// One drag: press at (x, y), `moves` moves alternating between y and y + 1, each `interval`
// after the last, release. Waits for the peer to fall quiet before reading the CPU times.
DragResult Drag(XSession &x, bench::BenchJackPeer &peer, pid_t pid, int px, int py, int moves,
                uint64_t intervalMicros, uint8_t controller) {
  x.MoveTo(px, py);
  bench::SleepMicros(50'000);
  x.Button(true);
  bench::SleepMicros(50'000);
  Drain(peer);
  DragResult result;
  const CpuTimes before = ReadCpu(pid);
  const uint64_t start = NowMicros();
  for (int i = 1; i <= moves; ++i) {
    bench::SleepUntil(start + static_cast<uint64_t>(i) * intervalMicros);
    x.MoveTo(px, py + (i & 1));
  }
  result.micros = static_cast<double>(NowMicros() - start);
  // Count until nothing more has arrived for 300 ms.
  uint64_t quietSince = NowMicros();
  while (NowMicros() - quietSince < 300'000) {
    bool any = false;
    while (auto arrival = peer.Next()) {
      any = true;
      ++result.messages;
      if ((arrival->bytes[0] & 0xF0) == 0xB0 && arrival->bytes[1] == controller)
        ++result.knobMessages;
    }
    if (any) quietSince = NowMicros();
    bench::SleepMicros(1000);
  }
  const CpuTimes after = ReadCpu(pid);
  result.cpu = {after.process - before.process, after.mainThread - before.mainThread};
  x.Button(false);
  bench::SleepMicros(100'000);
  Drain(peer);
  return result;
}

// Finds a point on knob1 (controller 24 by default): the knob's place depends on the style's tab
// bar height, so the column through the knob is probed from the top with short drags until
// knob1's controller arrives.
bool FindKnob1(XSession &x, bench::BenchJackPeer &peer, int wx, int wy, int &kx, int &ky) {
  for (int y = 15; y <= 100; y += 10) {
    Drain(peer);
    x.MoveTo(wx + 25, wy + y);
    bench::SleepMicros(30'000);
    x.Button(true);
    bench::SleepMicros(30'000);
    x.MoveTo(wx + 25, wy + y + 3);
    bench::SleepMicros(30'000);
    x.Button(false);
    const bool hit = WaitFor(
        peer,
        [](const bench::Arrival &a) { return (a.bytes[0] & 0xF0) == 0xB0 && a.bytes[1] == 24; },
        150'000);
    if (hit) {
      kx = wx + 25;
      ky = wy + y + 5;  // the knob's top lies within the last 10 pixels: go 5 further in
      return true;
    }
  }
  return false;
}

// Drags over the floor window's middle as over the knob; returns the moves it counted.
long FloorDrag(XSession &x, const std::map<std::string, std::string> &options, int moves,
               uint64_t intervalMicros) {
  Child floor =
      Start(Option(options, "floor"), {}, true, Option(options, "workdir") + "/floor.log");
  uint64_t mapped = 0;
  const Window window = x.WaitForMap(floor.pid, 20'000'000, mapped);
  if (!window) throw std::runtime_error("the floor window did not show");
  bench::SleepMicros(300'000);
  int wx = 0, wy = 0;
  x.Origin(window, wx, wy);
  x.MoveTo(wx + 260, wy + 100);
  bench::SleepMicros(50'000);
  x.Button(true);
  const uint64_t start = NowMicros();
  for (int i = 1; i <= moves; ++i) {
    bench::SleepUntil(start + static_cast<uint64_t>(i) * intervalMicros);
    x.MoveTo(wx + 260, wy + 100 + (i & 1));
  }
  x.Button(false);
  bench::SleepMicros(300'000);
  Stop(floor);
  long counted = -1;
  std::sscanf(ReadAll(floor.stdoutPipe).c_str(), "painted %*u moves %ld", &counted);
  return counted;
}

int DragBench(const std::map<std::string, std::string> &options) {
  const std::string kelvane = Option(options, "kelvane"), workdir = Option(options, "workdir");
  const int moves = std::stoi(Option(options, "moves", "10000"));
  const uint64_t interval = std::stoull(Option(options, "interval-us", "500"));
  XSession x;
  bench::BenchJackPeer peer("benchpeer", true, false);
  if (!peer.Ok()) throw std::runtime_error("no JACK server");
  const int out = bench::JackMidiPortIndex(peer.Client(), peer.InputName(), JackPortIsInput);
  const std::string store = workdir + "/drag.ini";
  WriteStore(store, "[setup]\nout=" + std::to_string(out) + "\n");
  RunningKelvane app = StartKelvane(x, kelvane, store, workdir + "/kelvane-drag.log", &peer);
  int wx = 0, wy = 0;
  x.Origin(app.window, wx, wy);
  int kx = 0, ky = 0;
  if (!FindKnob1(x, peer, wx, wy, kx, ky)) {
    Stop(app.child);
    bench::PrintRow("drag knob1: messages out", "knob1 not found (no CC#24)", "-", "-", "no");
    return 0;
  }
  // Idle: what the process spends with nobody touching it (JACK cycles, timers).
  const CpuTimes idleBefore = ReadCpu(app.child.pid);
  const uint64_t idleStart = NowMicros();
  bench::SleepMicros(2'000'000);
  const CpuTimes idleAfter = ReadCpu(app.child.pid);
  const double idleSeconds = static_cast<double>(NowMicros() - idleStart) / 1e6;
  const CpuTimes idlePerSecond{(idleAfter.process - idleBefore.process) / idleSeconds,
                               (idleAfter.mainThread - idleBefore.mainThread) / idleSeconds};

  // The status bar: an empty area of the window, where the same drag sends nothing.
  const DragResult empty = Drag(x, peer, app.child.pid, wx + 300, wy + 186, moves, interval, 24);
  const DragResult knob = Drag(x, peer, app.child.pid, kx, ky, moves, interval, 24);
  Stop(app.child);

  // What a plain Qt widget receives of the same drag: the floor for "one message per move".
  const long floorMoves = FloorDrag(x, options, moves, interval);

  auto perMove = [&](const DragResult &r, bool mainThread) {
    const double spent = mainThread ? r.cpu.mainThread : r.cpu.process;
    const double idle =
        (mainThread ? idlePerSecond.mainThread : idlePerSecond.process) * (r.micros / 1e6 + 0.3);
    return (spent - idle) / moves;
  };
  std::printf("drag: %d moves, one every %llu us (%.0f moves/s achieved)\n", moves,
              static_cast<unsigned long long>(interval), moves / (knob.micros / 1e6));
  std::printf("  idle: process %.0f us/s, GUI thread %.0f us/s\n", idlePerSecond.process,
              idlePerSecond.mainThread);
  std::printf(
      "  knob1:  %llu messages (%llu CC#24); CPU per move: GUI thread %.1f us, process "
      "%.1f us (idle subtracted)\n",
      static_cast<unsigned long long>(knob.messages),
      static_cast<unsigned long long>(knob.knobMessages), perMove(knob, true),
      perMove(knob, false));
  std::printf("  empty:  %llu messages; CPU per move: GUI thread %.1f us, process %.1f us\n",
              static_cast<unsigned long long>(empty.messages), perMove(empty, true),
              perMove(empty, false));
  bench::PrintRow("drag of " + std::to_string(moves) + " moves on knob1: messages out",
                  std::to_string(knob.knobMessages) + " of " + std::to_string(moves),
                  "plain Qt widget got " + std::to_string(floorMoves) + " moves; empty area sent " +
                      std::to_string(empty.messages),
                  "one per move",
                  bench::YesNo(knob.knobMessages == static_cast<uint64_t>(moves) &&
                               knob.messages == knob.knobMessages));
  bench::PrintRow("drag: GUI-thread CPU per move", bench::Format("%.1f us", perMove(knob, true)),
                  bench::Format("%.1f us (empty area)", perMove(empty, true)), "-", "-");
  bench::PrintRow("drag: process CPU per move", bench::Format("%.1f us", perMove(knob, false)),
                  bench::Format("%.1f us (empty area)", perMove(empty, false)), "-", "-");
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: kelvane_drive startup|keys|drag --option value ...\n");
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);
  try {
    const std::string command = argv[1];
    const auto options = ParseOptions(argc, argv);
    if (command == "startup") return Startup(options);
    if (command == "keys") return Keys(options);
    if (command == "drag") return DragBench(options);
    std::fprintf(stderr, "kelvane_drive: unknown command %s\n", command.c_str());
    return 2;
  } catch (const std::exception &e) {
    std::fprintf(stderr, "kelvane_drive: %s\n", e.what());
    bench::PrintRow(std::string(argv[1]) + " benchmark", std::string("failed: ") + e.what(), "-",
                    "-", "no");
    return 1;
  }
}
