#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 the Kelvane developers
# SPDX-License-Identifier: GPL-3.0-or-later
"""Frees the entries of dead servers in JACK's shared-memory registry.

A JACK server that is killed (SIGKILL, a crashed test run) keeps its entry in the registry, and
jackd only reclaims an entry for a server of the same name: after eight dead names no server
starts ("Too many servers already active"). This clears every entry whose process is gone and
leaves the live ones alone. The layout is jackd2's: a 24-byte header, then eight entries of a
process id and a 257-byte name, 264 bytes each.
"""
import os
import struct
import sys

REGISTRY = "/dev/shm/jack-shm-registry"
MAGIC = 0x4A41434B  # "JACK"
HEADER = 24
ENTRY = 264
SERVERS = 8


def alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        return True
    # A killed server that nobody has reaped yet is a zombie: dead all the same.
    try:
        with open(f"/proc/{pid}/stat") as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except (OSError, IndexError):
        return True


def main():
    try:
        registry = open(REGISTRY, "r+b")
    except FileNotFoundError:
        return 0
    with registry:
        data = bytearray(registry.read(HEADER + SERVERS * ENTRY))
        magic, _, _, _, header_length, _ = struct.unpack_from("<IHxxiiii", data, 0)
        if magic != MAGIC or header_length != HEADER + SERVERS * ENTRY:
            print("jack-registry-prune: unknown registry layout; left as it is", file=sys.stderr)
            return 0
        freed = 0
        for index in range(SERVERS):
            offset = HEADER + index * ENTRY
            pid = struct.unpack_from("<i", data, offset)[0]
            if pid > 0 and not alive(pid):
                data[offset : offset + ENTRY] = bytes(ENTRY)
                freed += 1
        if freed:
            registry.seek(0)
            registry.write(data)
            print(f"jack-registry-prune: freed {freed} entries of dead servers", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
