#!/usr/bin/env bash
# Installs what is missing, builds Kelvane and starts it. Extra arguments go to kelvane.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/build.sh default
exec build/default/app/kelvane "$@"
