#!/usr/bin/env bash
# Installs what is missing, builds, and runs the tool against the simulated modem.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
cd build
exec ./kalvex-modem-sim --run ./kalvex-modem-diag
