// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "MonitorLog.h"

#include <algorithm>

#include "MidiText.h"

namespace {

QString TimeText(int ms) {
  const auto two = [](int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
  return QStringLiteral("%1:%2:%3.%4")
      .arg(two(ms / 3600000), two(ms / 60000 % 60), two(ms / 1000 % 60))
      .arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

QString Columns(const QString &time, const QString &direction, const QString &device,
                const QString &channel, const QString &type, const QString &data,
                const QString &name) {
  return QStringLiteral("%1  %2  %3 %4 %5 %6 %7")
      .arg(time, -12)
      .arg(direction, -3)
      .arg(device, -20)
      .arg(channel, -3)
      .arg(type, -17)
      .arg(data, -22)
      .arg(name)
      .trimmed();
}

}  // namespace

void MonitorLog::Add(bool received, const QString &device, const uint8_t *bytes, size_t length,
                     int timeMs) {
  if (capacity_ == 0 || length == 0) return;
  MonitorEntry entry;
  entry.sequence = next_++;
  entry.timeMs = timeMs;
  entry.received = received;
  entry.device = device;
  std::copy_n(bytes, std::min(length, entry.head.size()), entry.head.begin());
  entry.length = static_cast<uint32_t>(std::min<size_t>(length, UINT32_MAX));
  if (entries_.size() == capacity_) entries_.pop_front();
  entries_.push_back(std::move(entry));
}

void MonitorLog::Clear() {
  entries_.clear();
}

QString MonitorLog::Line(const MonitorEntry &entry) {
  // DescribeMessage reads no more than the head of a SysEx message, and a short message is
  // whole in the head.
  const MessageColumns c = DescribeMessage(entry.head.data(), entry.length);
  return Columns(TimeText(entry.timeMs), entry.received ? "in" : "out", entry.device, c.channel,
                 c.type, c.data, c.name);
}

QString MonitorLog::Heading() {
  return Columns("time", "dir", "device", "ch", "type", "data", "meaning");
}

QString MonitorLog::Text() const {
  QString text = Heading() + '\n';
  for (const MonitorEntry &entry : entries_) text += Line(entry) + '\n';
  return text;
}
