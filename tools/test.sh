#!/usr/bin/env bash
# Installs what is missing, builds every test and runs them all; ends with CTest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/build.sh default
ctest --preset default -j "$(nproc)"
