#!/usr/bin/env bash
# The example document of docs/report.md, made by a real run: `--report --tests basic --json`
# against the simulated modem, from a directory of its own. What differs from machine to machine
# is replaced by the example's own values: the host name, the machine ID, the simulator's
# directory and the run's own. Times (started, the durations) are left as the run gave them.
#   scripts/report-example.sh BUILD_DIR            prints the example
#   scripts/report-example.sh BUILD_DIR --write    puts it into docs/report.md
#   scripts/report-example.sh BUILD_DIR --check    exit 1, with the differences, when the
#                                                  example is not what the program prints now
# (times and durations are not compared). The build's target docs-report-example runs --write.
set -euo pipefail
top=$(realpath "$(dirname "$0")/..")
build=$(realpath "${1:?usage: report-example.sh BUILD_DIR [--write|--check]}")
mode=${2:-}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/runtime"
cp "$top/data/ati3.dat" "$work/"
raw=$(cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u KALVEX_COM_DIR \
  TMPDIR=/tmp XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config" \
  XDG_DATA_DIRS="$work/data" "$build/kalvex-modem-sim" --run "$build/kalvex-modem-diag" \
  --report --tests basic --json </dev/null 2>"$work/err") ||
  { cat "$work/err" >&2; echo "report-example.sh: the report run failed" >&2; exit 1; }

python3 - "$top/docs/report.md" "$mode" "$raw" <<'PY'
import json, re, sys

page_path, mode, raw = sys.argv[1], sys.argv[2], sys.argv[3]
example = raw.rstrip("\n")
example = re.sub(r'("hostName": )"[^"]*"', r'\1"lab-07"', example)
example = re.sub(r'("machineId": )("[^"]*"|null)', r'\1"3d1219c7c4c5404aaa1f6d2a48adfda4"', example)
example = re.sub(r'/tmp/kalvex-sim-[A-Za-z0-9]+', '/tmp/kalvex-sim-Q1b2Zx', example)
example = re.sub(r'/tmp/tmp\.[A-Za-z0-9]+/', '/home/lab/', example)

with open(page_path, encoding="utf-8") as f:
    page = f.read()
block = re.compile(r"(```json\n)(.*?)(\n```)", re.S)
found = block.search(page)
if not found:
    sys.exit(f"{page_path} has no json example")

if mode == "--write":
    with open(page_path, "w", encoding="utf-8") as f:
        f.write(page[:found.start(2)] + example + page[found.end(2):])
elif mode == "--check":
    def comparable(value):
        """The document without what a run cannot repeat: when it started and how long it took."""
        if isinstance(value, dict):
            return {k: comparable(v) for k, v in value.items() if k not in ("started", "durationMs")}
        if isinstance(value, list):
            return [comparable(v) for v in value]
        return value
    printed = comparable(json.loads(example))
    documented = comparable(json.loads(found.group(2)))
    if printed != documented:
        print("The example in docs/report.md is not what the program prints now.")
        print("Regenerate it with: cmake --build BUILD_DIR --target docs-report-example")
        print("--- documented\n" + json.dumps(documented, indent=4, sort_keys=True))
        print("+++ printed\n" + json.dumps(printed, indent=4, sort_keys=True))
        sys.exit(1)
    print("the example in docs/report.md is what the program prints")
else:
    print(example)
PY
