#!/usr/bin/env bash
# Builds and runs the soak: cycles of detection and the three test runs against the simulated
# modem, a fault drawn per cycle from the seed. Not part of scripts/test.sh (100 cycles take
# about 40 minutes).
#   scripts/soak.sh [CYCLES [SEED]] [--only C]
#     CYCLES  number of cycles (default 100)
#     SEED    the draws' seed (default: from the clock; printed, so a run can be replayed)
#     --only C  replay cycle C of that seed alone (the dialog is first brought into the state
#               the earlier cycles leave)
# The build goes to build-soak/ (or $SOAK_BUILD_DIR). A cycle that disagrees leaves the modem's
# transcript in soak-cycle-C.log in the current directory. Exit status 0 when every cycle agreed
# and no descriptor, thread or memory grew.
set -euo pipefail
here=$(pwd)
cd "$(dirname "$0")/.."
dir=${SOAK_BUILD_DIR:-build-soak}

cycles=100
seed=
only=
positional=()
while [ $# -gt 0 ]; do
  case "$1" in
    --only) only=${2:?--only needs a cycle number}; shift 2 ;;
    -h|--help) sed -n '2,11p' "$0"; exit 0 ;;
    *) positional+=("$1"); shift ;;
  esac
done
[ ${#positional[@]} -ge 1 ] && cycles=${positional[0]}
[ ${#positional[@]} -ge 2 ] && seed=${positional[1]}
[ ${#positional[@]} -le 2 ] || { echo "usage: scripts/soak.sh [CYCLES [SEED]] [--only C]" >&2; exit 2; }

cmake -S . -B "$dir" -G Ninja >/dev/null
cmake --build "$dir" --target kalvex-soak >/dev/null

args=(--cycles "$cycles" --log-dir "$here")
[ -n "$seed" ] && args+=(--seed "$seed")
[ -n "$only" ] && args+=(--only "$only")
# The tool's debug texts (every failed open of an absent port) go to standard error; the
# summary is on standard output.
exec env QT_QPA_PLATFORM=offscreen "$dir/tests/soak/kalvex-soak" "${args[@]}"
