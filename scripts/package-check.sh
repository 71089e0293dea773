#!/usr/bin/env bash
# Checks the Debian package: made by scripts/package.sh (only what it ships, in build-package/),
# or by CPack in a build directory given as the argument. lintian must report no error; the
# package is unpacked into a temporary root (no installation on this machine), its files and
# control fields are checked, its desktop entry, AppStream data and manual pages validated, and
# the unpacked programs are run from another directory against the unpacked simulated modem.
#   scripts/package-check.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -eq 0 ]; then
  deb=$(scripts/package.sh | tail -n 1)
else
  build=$(realpath "$1")
  rm -f "$build"/kalvex-modem-diag_*.deb
  (cd "$build" && cpack -G DEB >/dev/null)
  deb=$(ls "$build"/kalvex-modem-diag_*.deb)
fi
echo "package: $deb"
dpkg-deb --field "$deb" Package Version Depends Recommends
fail() { echo "$*" >&2; exit 1; }

# Errors only: a warning (such as a description lintian finds terse) does not stop a release.
lintian --fail-on error "$deb" ||
  fail "lintian reports errors in $deb"
[[ "$(dpkg-deb --field "$deb" Recommends)" == *qt6-wayland* ]] || fail "qt6-wayland is not recommended"
[[ "$(dpkg-deb --field "$deb" Depends)" != *qt6-wayland* ]] || fail "qt6-wayland is still a dependency"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"

for f in usr/bin/kalvex-modem-diag usr/bin/kalvex-modem-sim usr/share/kalvex-modem-diag/ati3.dat \
         usr/share/applications/com.kalvex.ModemDiag.desktop \
         usr/share/metainfo/com.kalvex.ModemDiag.metainfo.xml \
         usr/share/man/man1/kalvex-modem-diag.1.gz usr/share/man/man1/kalvex-modem-sim.1.gz \
         usr/share/doc/kalvex-modem-diag/copyright usr/share/doc/kalvex-modem-diag/changelog.Debian.gz \
         usr/share/doc/kalvex-modem-diag/examples/99-kalvex-modem-diag.rules \
         usr/share/doc/kalvex-modem-diag/examples/modem-report.yml \
         usr/share/doc/kalvex-modem-diag/report.md; do
  [ -f "$root/$f" ] || fail "missing from the package: /$f"
done
# The changelog's newest entry is this package's version.
changelog_version=$(zcat "$root/usr/share/doc/kalvex-modem-diag/changelog.Debian.gz" | head -n 1 |
  sed -n 's/^kalvex-modem-diag (\([^)]*\)).*/\1/p')
[ "$changelog_version" = "$(dpkg-deb --field "$deb" Version)" ] ||
  fail "changelog.Debian.gz names version '$changelog_version'"
for size in 16 32 48 64 128 256; do
  f=usr/share/icons/hicolor/${size}x${size}/apps/com.kalvex.ModemDiag.png
  [ -f "$root/$f" ] || { echo "missing from the package: /$f" >&2; exit 1; }
done
desktop-file-validate "$root/usr/share/applications/com.kalvex.ModemDiag.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/com.kalvex.ModemDiag.metainfo.xml"
upstream=$(dpkg-deb --field "$deb" Version)
upstream=${upstream%-*}
for page in kalvex-modem-diag kalvex-modem-sim; do
  file="$root/usr/share/man/man1/$page.1.gz"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$page.1: $warnings"
  zcat "$file" | head -n 1 | grep -q "^\.TH .* \"kalvex-modem-diag $upstream\"" ||
    fail "$page.1: the .TH line does not carry the version $upstream"
  # No option or program name broken across lines with a hyphen.
  broken=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$file" 2>/dev/null | grep -E -- '‐$|kalvex-[a-z-]*-$' || true)
  [ -z "$broken" ] || fail "$page.1 hyphenates at line ends: $broken"
done

# From a directory without ati3.dat, with the unpacked data directory where a system has
# /usr/share, and nothing of this machine's own set-up.
export XDG_DATA_DIRS="$root/usr/share" XDG_CONFIG_HOME="$root/config" XDG_RUNTIME_DIR="$root"
cd /
"$root/usr/bin/kalvex-modem-sim" --help >/dev/null
version=$("$root/usr/bin/kalvex-modem-diag" --version)
[[ "$version" == "kalvex-modem-diag "* ]] || fail "unexpected --version: $version"
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
