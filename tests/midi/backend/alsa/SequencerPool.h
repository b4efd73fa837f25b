// SPDX-FileCopyrightText: 2026 the Kelvane developers
// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How many input cells program `client` has free in its sequencer input pool, asked through the
// sequencer descriptor `fd`; -1 when the sequencer does not answer (the client has gone).
// libasound only asks for its own client's; the kernel answers for any.
int FreeInputCells(int fd, int client);
