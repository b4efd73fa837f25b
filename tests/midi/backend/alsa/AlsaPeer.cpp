// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "AlsaPeer.h"

#include <poll.h>

#include <algorithm>
#include <climits>

#include "SequencerPool.h"

using namespace std::chrono_literals;

AlsaPeer::AlsaPeer(const char *name, int inputPool) : name_(QString::fromLatin1(name)) {
  if (snd_seq_open(&seq_, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) < 0) {
    seq_ = nullptr;
    return;
  }
  snd_seq_set_client_name(seq_, name);
  if (inputPool > 0) snd_seq_set_client_pool_input(seq_, static_cast<size_t>(inputPool));
  port_ = snd_seq_create_simple_port(seq_, "port",
                                     SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ |
                                         SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                     SND_SEQ_PORT_TYPE_MIDI_GENERIC);
  pollfd fd{};
  snd_seq_poll_descriptors(seq_, &fd, 1, POLLIN);
  fd_ = fd.fd;
  snd_midi_event_new(16, &decoder_);
  snd_midi_event_no_status(decoder_, 1);
  receiver_ = std::thread([this] { Receive(); });
}

AlsaPeer::~AlsaPeer() {
  stop_ = true;
  if (receiver_.joinable()) receiver_.join();
  if (decoder_) snd_midi_event_free(decoder_);
  if (seq_) snd_seq_close(seq_);
}

snd_seq_addr_t AlsaPeer::Address() const {
  return {static_cast<unsigned char>(snd_seq_client_id(seq_)), static_cast<unsigned char>(port_)};
}

void AlsaPeer::ConnectFrom(int client, int port) {
  snd_seq_connect_from(seq_, port_, client, port);
}

qsizetype AlsaPeer::Count() {
  std::lock_guard lock(mutex_);
  return received_.size();
}

QByteArray AlsaPeer::Received() {
  std::lock_guard lock(mutex_);
  // A copy of its own: a shared one would be freed by whichever thread lets go of it last, which
  // ThreadSanitizer cannot see through Qt's (uninstrumented) reference count.
  return QByteArray(received_.constData(), received_.size());
}

void AlsaPeer::Clear() {
  std::lock_guard lock(mutex_);
  received_.clear();
  arrivals_.clear();
  largest_ = 0;
  losses_ = 0;
}

AlsaPeer::Clock::time_point AlsaPeer::ArrivalOf(qsizetype index) {
  std::lock_guard lock(mutex_);
  const auto after = std::upper_bound(
      arrivals_.begin(), arrivals_.end(), index,
      [](qsizetype at, const std::pair<qsizetype, Clock::time_point> &a) { return at < a.first; });
  return std::prev(after)->second;
}

bool AlsaPeer::Send(const QByteArray &bytes, const std::function<bool(int64_t sent)> &mayGo) {
  snd_midi_event_t *encoder = nullptr;
  snd_midi_event_new(kPiece, &encoder);
  snd_seq_event_t event;
  snd_seq_ev_clear(&event);
  int64_t sent = 0;
  bool ok = true;
  for (qsizetype at = 0; ok && at < bytes.size(); ++at) {
    ++sent;
    if (snd_midi_event_encode_byte(encoder, static_cast<unsigned char>(bytes[at]), &event) != 1)
      continue;
    const auto deadline = Clock::now() + 10s;
    while (mayGo && !mayGo(sent) && Clock::now() < deadline) std::this_thread::sleep_for(200us);
    snd_seq_ev_set_source(&event, port_);
    snd_seq_ev_set_subs(&event);
    snd_seq_ev_set_direct(&event);
    ok = snd_seq_event_output_direct(seq_, &event) >= 0;
    snd_seq_ev_clear(&event);
  }
  snd_midi_event_free(encoder);
  return ok;
}

std::vector<snd_seq_addr_t> AlsaPeer::SubscriberAddresses(snd_seq_query_subs_type_t type) const {
  std::vector<snd_seq_addr_t> addresses;
  snd_seq_query_subscribe_t *query;
  snd_seq_query_subscribe_alloca(&query);
  const snd_seq_addr_t root = Address();
  snd_seq_query_subscribe_set_root(query, &root);
  snd_seq_query_subscribe_set_type(query, type);
  for (int index = 0;; ++index) {
    snd_seq_query_subscribe_set_index(query, index);
    if (snd_seq_query_port_subscribers(seq_, query) < 0) return addresses;
    addresses.push_back(*snd_seq_query_subscribe_get_addr(query));
  }
}

QStringList AlsaPeer::Subscribers(snd_seq_query_subs_type_t type) const {
  QStringList names;
  snd_seq_client_info_t *info;
  snd_seq_client_info_alloca(&info);
  for (const snd_seq_addr_t &address : SubscriberAddresses(type))
    if (snd_seq_get_any_client_info(seq_, address.client, info) >= 0)
      names << QString::fromLatin1(snd_seq_client_info_get_name(info));
  return names;
}

int AlsaPeer::ReadersFreeCells() const {
  int fewest = INT_MAX;
  for (const snd_seq_addr_t &address : SubscriberAddresses(SND_SEQ_QUERY_SUBS_READ))
    if (const int free = FreeInputCells(fd_, address.client); free >= 0)
      fewest = std::min(fewest, free);
  return fewest;
}

void AlsaPeer::Receive() {
  pollfd fd{};
  snd_seq_poll_descriptors(seq_, &fd, 1, POLLIN);
  while (!stop_) {
    snd_seq_event_t *event = nullptr;
    const int result = snd_seq_event_input(seq_, &event);
    if (result == -ENOSPC)
      ++losses_;  // our input pool overflowed: the kernel dropped what it held
    else if (result < 0 || !event)
      poll(&fd, 1, 10);
    else
      Record(*event);
  }
}

void AlsaPeer::Record(const snd_seq_event_t &event) {
  const auto now = Clock::now();
  std::lock_guard lock(mutex_);
  arrivals_.emplace_back(received_.size(), now);
  if (event.type == SND_SEQ_EVENT_SYSEX) {
    largest_ = std::max<int>(largest_, static_cast<int>(event.data.ext.len));
    received_.append(static_cast<const char *>(event.data.ext.ptr), event.data.ext.len);
    return;
  }
  unsigned char bytes[16];
  const long length = snd_midi_event_decode(decoder_, bytes, sizeof bytes, &event);
  if (length > 0) received_.append(reinterpret_cast<const char *>(bytes), length);
}
