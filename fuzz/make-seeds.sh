#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Kelvane developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the seed corpus of every fuzz target into fuzz/corpus/<target>/. The files are kept in
# the repository; run this again after changing it. Each seed is far below 1 KiB.
set -euo pipefail
cd "$(dirname "$0")/corpus"
seed() { mkdir -p "$1" && printf -- "$3" >"$1/$2"; }

# The store's integer parser: one text per file.
p=fuzz_parse_integer
seed $p hex-0x '0x1F'
seed $p hex-dollar '$1f'
seed $p signed-blanks ' \t+7'
seed $p negative-pattern '-$FFFFFFFF'
seed $p int-max '2147483647'
seed $p int-min '-2147483648'
seed $p too-big '4294967296'
seed $p prefix-only '0X'
seed $p not-a-number 'abc'

# The store's loader: a settings file, optionally followed by NUL and a text to write.
l=fuzz_settings_load
seed $l good.ini '; Kelvane settings\n[setup]\nspeed=0x1F\ncomkeymode=1\nmidiout=Loopback Out 1\n\n[Button5]\nk1=64\nK2=-1\n\n[knobnames]\nname1=\\sCutoff\\s\nname2=Reso\\nnance\\\\\n'
seed $l crlf-bom.ini '\xef\xbb\xbf[Setup]\r\nSpeed = 12 \r\n# comment\r\n[button1]\r\nk22=$7f\r\n'
seed $l damaged.ini '[setup]\nspeed=6\nthis line is not a setting\n'
seed $l damaged-escape.ini '[setup]\nname=bad \\q escape\n'
seed $l not-text.ini '[setup]\nspeed=\xff\xfe\n'
seed $l with-text '[scheme1]\nknobctrl1=176\n\0  Filter  \\ Env\n'

# A .syx file's way out: one set-up byte (bits 0-5 piece size, bit 6 a note during the
# transfer, bit 7 the file twice), then the file.
s=fuzz_sysex_output
seed $s three-messages.syx '\x44\xf0\x41\x10\x42\x12\x40\x00\x7f\x00\x41\xf7\xf0\x7e\x7f\x06\x01\xf7\xf0\x43\x10\x4c\x00\x00\x7e\x00\xf7'
seed $s whole-messages.syx '\x00\xf0\x41\x10\x42\x12\x40\x00\x7f\x00\x41\xf7\xf0\x7e\x7f\x06\x01\xf7'
seed $s twice-small-pieces.syx '\xc2\xf0\x01\x02\x03\x04\x05\xf7\xf0\x06\xf7'
seed $s unterminated.syx '\x40\xf0\x41\x10\x42\x12'
seed $s status-inside.syx '\x03\xf0\x41\x90\x3c\x40\xf7\x80\x3c\x00'

# Bytes into the input port: two set-up bytes (see MidiInputFuzz.cpp), then the stream.
i=fuzz_midi_input
seed $i clock-inside-sysex '\x76\x43\x90\x3c\x40\xf8\xf0\x41\x10\x42\xf8\x12\x40\x00\x7f\xf8\x00\x41\xf7\xf8\x80\x3c\x00\xfe\xf0\x7e\x7f\x06\x01\xf7\xb0\x07\x64'
seed $i small-buffers '\x2a\x11\xf0\x01\x02\x03\x04\x05\x06\x07\xf7\xf0\x08\x09\xf7\xc0\x05'
seed $i sysex-only '\x77\x00\xf0\x7e\x00\x06\x02\xf7\x90\x3c\x40\xfa\xfc\xf0\x01\xb0\x7b\x00'
seed $i raw-chunks '\xf6\x00\x03\x90\x3c\x40\x01\xf8\x05\xf0\x01\x02\x03\xf7\x02\xc0\x05\x04\xf0\x01\x02\x03\x02\x04\xf7'
