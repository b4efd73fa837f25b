// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The kernel's own header: it cannot share a file with libasound's, which defines the same names.
#include "SequencerPool.h"

#include <sound/asequencer.h>
#include <sys/ioctl.h>

int FreeInputCells(int fd, int client) {
  snd_seq_client_pool pool{};
  pool.client = client;
  if (ioctl(fd, SNDRV_SEQ_IOCTL_GET_CLIENT_POOL, &pool) < 0) return -1;
  return static_cast<int>(pool.input_free);
}
