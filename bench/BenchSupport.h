// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the whole-program benchmarks share: the clock, summaries of samples, the rows of the
// figures table that tools/bench.sh prints, and memory readings from /proc.

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace bench {

// Microseconds on CLOCK_MONOTONIC_RAW: the clock JACK2's jack_get_time() reads on Linux, so a
// stamp taken here and an arrival time taken in a JACK process callback can be subtracted.
inline uint64_t NowMicros() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC_RAW, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1'000'000u +
         static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

inline void SleepMicros(uint64_t micros) {
  timespec span{static_cast<time_t>(micros / 1'000'000u),
                static_cast<long>((micros % 1'000'000u) * 1000u)};
  nanosleep(&span, nullptr);
}

// Sleeps until `deadline` (NowMicros time); returns at once when it has passed.
inline void SleepUntil(uint64_t deadline) {
  const uint64_t now = NowMicros();
  if (deadline > now) SleepMicros(deadline - now);
}

struct Summary {
  size_t count = 0;
  double median = NAN, p99 = NAN, max = NAN, min = NAN;
};

// Nearest-rank percentiles: the median of 500 samples is the 250th smallest, p99 the 495th.
inline Summary Summarise(std::vector<double> samples) {
  Summary s;
  s.count = samples.size();
  if (samples.empty()) return s;
  std::sort(samples.begin(), samples.end());
  auto rank = [&](double fraction) {
    const auto n = static_cast<double>(samples.size());
    const auto index = static_cast<size_t>(std::max(1.0, std::ceil(fraction * n))) - 1;
    return samples[std::min(index, samples.size() - 1)];
  };
  s.median = rank(0.5);
  s.p99 = rank(0.99);
  s.min = samples.front();
  s.max = samples.back();
  return s;
}

// One row of the figures table: tab-separated after the word ROW, so that tools/bench.sh can
// pick the rows out of everything else a program prints. `met` is "yes", "no" or "-" (no target).
inline void PrintRow(const std::string &figure, const std::string &value,
                     const std::string &baseline, const std::string &target,
                     const std::string &met) {
  std::printf("ROW\t%s\t%s\t%s\t%s\t%s\n", figure.c_str(), value.c_str(), baseline.c_str(),
              target.c_str(), met.c_str());
  std::fflush(stdout);
}

inline std::string Format(const char *format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

inline const char *YesNo(bool met) {
  return met ? "yes" : "no";
}

// A field of /proc/<pid>/status in KiB ("VmRSS", "VmHWM"), or -1.
inline long StatusKiB(const std::string &pid, const std::string &field) {
  std::ifstream status("/proc/" + pid + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
  return -1;
}

// Starts a new peak: afterwards VmHWM counts from the present resident size (Linux >= 4.0).
inline void ResetPeakRss(const std::string &pid = "self") {
  std::ofstream("/proc/" + pid + "/clear_refs") << "5";
}

}  // namespace bench
