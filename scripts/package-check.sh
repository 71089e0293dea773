#!/usr/bin/env bash
# Builds the Debian package from a build directory and checks what it holds: the package is
# unpacked into a temporary root (no installation on this machine), its desktop entry,
# AppStream data and manual pages are validated, and the unpacked programs are run from another
# directory against the unpacked simulated modem.
#   scripts/package-check.sh [BUILD_DIR]     (default build/, which must be built)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")

(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls -t "$build"/kalvex-modem-diag_*.deb | head -n 1)
echo "package: $deb"
dpkg-deb --field "$deb" Package Version Depends

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"

for f in usr/bin/kalvex-modem-diag usr/bin/kalvex-modem-sim usr/share/kalvex-modem-diag/ati3.dat \
         usr/share/applications/com.kalvex.ModemDiag.desktop \
         usr/share/metainfo/com.kalvex.ModemDiag.metainfo.xml \
         usr/share/man/man1/kalvex-modem-diag.1 usr/share/man/man1/kalvex-modem-sim.1 \
         usr/share/doc/kalvex-modem-diag/examples/99-kalvex-modem-diag.rules \
         usr/share/doc/kalvex-modem-diag/examples/modem-report.yml \
         usr/share/doc/kalvex-modem-diag/report.md; do
  [ -f "$root/$f" ] || { echo "missing from the package: /$f" >&2; exit 1; }
done
for size in 16 32 48 64 128 256; do
  f=usr/share/icons/hicolor/${size}x${size}/apps/com.kalvex.ModemDiag.png
  [ -f "$root/$f" ] || { echo "missing from the package: /$f" >&2; exit 1; }
done
desktop-file-validate "$root/usr/share/applications/com.kalvex.ModemDiag.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/com.kalvex.ModemDiag.metainfo.xml"
for page in kalvex-modem-diag kalvex-modem-sim; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page.1" 2>&1 >/dev/null)
  [ -z "$warnings" ] || { echo "$page.1: $warnings" >&2; exit 1; }
done

# From a directory without ati3.dat, with the unpacked data directory where a system has
# /usr/share, and nothing of this machine's own set-up.
export XDG_DATA_DIRS="$root/usr/share" XDG_CONFIG_HOME="$root/config" XDG_RUNTIME_DIR="$root"
cd /
"$root/usr/bin/kalvex-modem-sim" --help >/dev/null
version=$("$root/usr/bin/kalvex-modem-diag" --version)
[[ "$version" == "kalvex-modem-diag "* ]] || { echo "unexpected --version: $version" >&2; exit 1; }
# The report finds the simulated modem with the installed list, without a display.
status=0
report=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/kalvex-modem-sim" \
  --run "$root/usr/bin/kalvex-modem-diag" --report --json 2>/dev/null </dev/null) || status=$?
[ "$status" -eq 0 ] && [[ "$report" == *'"port": "COM3"'* ]] ||
  { echo "the unpacked kalvex-modem-diag --report did not find the simulated modem ($status): $report" >&2; exit 1; }
# Without --report the unpacked tool starts and reports a missing display plainly.
status=0
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/kalvex-modem-diag" 2>&1) || status=$?
[ "$status" -eq 1 ] && [[ "$out" == *"cannot open the display"* ]] ||
  { echo "the unpacked kalvex-modem-diag did not start as expected ($status): $out" >&2; exit 1; }
echo "package check passed"
