#!/usr/bin/env bash
# Configures and builds into build/ (or the directory given as the first argument).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
# Five builds (normal, two sanitizers, fuzzing, the package) compile the same files: ccache keeps
# what a checkout elsewhere (CI's fresh clone) can reuse, as paths below the top are relative.
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$dir" -G Ninja "${launcher[@]}" "$@" >/dev/null
cmake --build "$dir"
