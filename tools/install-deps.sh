#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Kelvane developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs with apt-get whatever Kelvane needs to build, run and test on Debian 12, and does
# nothing when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config ninja-build
  qt6-base-dev qt6-base-dev-tools libgl-dev libxkbcommon-dev
  librtmidi-dev libjack-jackd2-dev jackd2
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xdotool x11-utils xauth imagemagick libx11-dev libxtst-dev libxcb1-dev libxcb-xkb-dev
  libfontconfig-dev
  fonts-dejavu-core
  dpkg-dev desktop-file-utils groff-base lintian appstream
  dbus-daemon at-spi2-core python3-gi gir1.2-atspi-2.0
  clang libclang-rt-14-dev
  libasound2-dev qemu-system-x86 busybox-static cpio alsa-utils
)
# PipeWire for the JACK tests' second run, without what a desktop session would bring with it.
bare_packages=(pipewire pipewire-bin pipewire-jack)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
missing=() missing_bare=()
for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
for p in "${bare_packages[@]}"; do installed "$p" || missing_bare+=("$p"); done
[ ${#missing[@]} -eq 0 ] && [ ${#missing_bare[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]} ${missing_bare[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
# jackd2 asks about realtime priority; answer it up front so the install never waits.
echo "jackd2 jackd/tweak_rt_limits boolean false" | $sudo debconf-set-selections
$sudo apt-get update -qq
export DEBIAN_FRONTEND=noninteractive
[ ${#missing[@]} -eq 0 ] || $sudo apt-get install -y -qq "${missing[@]}"
[ ${#missing_bare[@]} -eq 0 ] ||
  $sudo apt-get install -y -qq --no-install-recommends "${missing_bare[@]}"
