#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Kelvane developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds Kelvane and starts it. Extra arguments go to kelvane.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/build.sh default
exec build/default/app/kelvane "$@"
