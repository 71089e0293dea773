#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
#   scripts/test.sh           the normal build, in build/
#   scripts/test.sh --asan    AddressSanitizer with UndefinedBehaviorSanitizer, in build-asan/
#   scripts/test.sh --tsan    ThreadSanitizer, in build-tsan/
# Further arguments go to ctest (for example -L pty).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

dir=build
run=()
# The sanitizer builds leave out the benchmarks and the soak program: no test runs them.
case "${1:-}" in
  --asan) dir=build-asan; shift; scripts/build.sh "$dir" -DKALVEX_SANITIZER=address -DKALVEX_BENCH=OFF ;;
  --tsan) dir=build-tsan; shift; scripts/build.sh "$dir" -DKALVEX_SANITIZER=thread -DKALVEX_BENCH=OFF ;;
  *) scripts/build.sh "$dir" ;;
esac
# This toolchain's sanitizer runtimes abort at start under the kernel's high mmap
# randomisation; a process without address randomisation is unaffected.
[ "$dir" != build ] && run=(setarch "$(uname -m)" -R)
# Most tests wait on a modem's time-outs rather than compute, so more run at once than cores.
# Under ThreadSanitizer the build gives the dialog tests their suppressions (tests/CMakeLists.txt),
# and every other test none.
"${run[@]}" ctest --test-dir "$dir" --output-on-failure -j "$(( $(nproc) * 3 ))" "$@"
