#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Kelvane developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds Kelvane and makes its Debian package in build/default/
# (kelvane_<version>_<arch>.deb, its dependencies found by dpkg-shlibdeps).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/build.sh default
cd build/default
cpack -G DEB
ls -1 "$PWD"/kelvane_*.deb
