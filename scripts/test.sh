#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
# Most tests wait on a modem's time-outs rather than compute, so more run at once than cores.
ctest --test-dir build --output-on-failure -j "$(( $(nproc) * 3 ))"
