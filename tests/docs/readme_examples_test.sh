#!/usr/bin/env bash
# Runs every example of README.md that starts the report against the simulated modem, as it is
# written there, each in a shell of its own from a top directory whose build/ is this build and
# with the build's programs on PATH (the form of an installed package, its ati3.dat where the
# package puts it). Each must end with status 0, and an example with --json must print one JSON
# document on standard output and nothing else. Usage: readme_examples_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(realpath "$1")
source=$(realpath "$2")
for tool in jq python3; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (scripts/install-deps.sh)"; exit 77; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/top" "$work/runtime" "$work/share/kalvex-modem-diag"
ln -s "$build" "$work/top/build"
cp "$source/data/ati3.dat" "$work/share/kalvex-modem-diag/"
export PATH="$build:$PATH" XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config"
export XDG_DATA_DIRS="$work/share"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM KALVEX_COM_DIR

# The lines of the README's sh blocks that run the report under the simulator.
mapfile -t examples < <(awk '/^```sh$/ {in_block = 1; next} /^```$/ {in_block = 0}
  in_block && /kalvex-modem-sim/ && /--report/' "$source/README.md")
[ ${#examples[@]} -ge 2 ] || { echo "FAIL: README.md has ${#examples[@]} report examples"; exit 1; }

failed=0
for example in "${examples[@]}"; do
  status=0
  (cd "$work/top" && bash -o pipefail -c "$example") >"$work/out" 2>"$work/err" </dev/null || status=$?
  problem=""
  if [ "$status" -ne 0 ]; then
    problem="status $status"
  elif [[ "$example" == *--json* ]] &&
       ! python3 -c 'import json, sys; json.load(sys.stdin)' <"$work/out" 2>/dev/null; then
    problem="standard output is not one JSON document"
  elif grep -q 'KALVEX_COM_DIR=' "$work/out"; then
    problem="the simulator wrote on standard output"
  fi
  if [ -n "$problem" ]; then
    failed=$((failed + 1))
    echo "FAIL ($problem): $example"
    sed 's/^/  out: /' "$work/out" | head -n 20
    sed 's/^/  err: /' "$work/err" | head -n 20
  else
    echo "ok: $example"
  fi
done
echo "$(( ${#examples[@]} - failed )) passed, $failed failed"
[ "$failed" -eq 0 ]
