#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for the given seconds (default 20), starting
# from the seed corpora in tests/fuzz/corpus (copied: the repository's seeds do not grow). Every
# directory there is one target: tests/fuzz/corpus/NAME is the seed corpus of fuzz_NAME.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
scripts/install-deps.sh --fuzz
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DKALVEX_FUZZ=ON "${launcher[@]}" >/dev/null
targets=()
for dir in tests/fuzz/corpus/*/; do
  targets+=("$(basename "$dir")")
done
cmake --build build-fuzz --target "${targets[@]/#/fuzz_}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for target in "${targets[@]}"; do
  cp -r "tests/fuzz/corpus/$target" "$work/$target"
  echo "== fuzz_$target for ${seconds}s"
  # The sanitizer runtimes abort at start under high address-space randomisation.
  if ! setarch "$(uname -m)" -R "build-fuzz/tests/fuzz/fuzz_$target" -max_total_time="$seconds" \
      -print_final_stats=1 -artifact_prefix="$work/" "$work/$target" >"$work/$target.log" 2>&1; then
    status=1
    tail -n 40 "$work/$target.log"
    cp "$work"/crash-* "$work"/leak-* "$work"/timeout-* . 2>/dev/null || true
  fi
  grep -E '^#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::peak_rss_mb' "$work/$target.log" || true
done
exit $status
