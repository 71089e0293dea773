#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, when any is missing. As root, or
# through sudo when that is installed.
#   scripts/install-deps.sh            the build, the tests and the benchmarks
#   scripts/install-deps.sh --package  only what scripts/package.sh needs to build the package
#   scripts/install-deps.sh --fuzz     also clang and its libFuzzer runtime (scripts/fuzz.sh)
#   scripts/install-deps.sh --format   also clang-format (scripts/format-check.sh)
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev
  libasound2-dev libx11-dev
  # cpack -G DEB finds the package's library dependencies with dpkg-shlibdeps
  dpkg-dev
  # the builds share compiled files (scripts/build.sh)
  ccache
)
if [ "${1:-}" != --package ]; then
  packages+=(
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth
    # Qt's Wayland platform, for QT_QPA_PLATFORM=wayland (without it Qt aborts at start).
    qt6-wayland
    # The checks of the package (scripts/package-check.sh) and of the installed desktop entry,
    # AppStream data and manual pages.
    lintian desktop-file-utils appstream man-db
    # runs the fleet playbook of contrib/ansible in its test
    ansible-core
    # the README's report example pipes the document through it, and a test runs that example
    jq
    # A screen reader's view in the tests: a private session bus, the accessibility bus, and an
    # AT-SPI client that reads the dialogs as a screen reader does.
    dbus at-spi2-core python3-pyatspi
    # Modem programs of other projects that the tests run against the simulated modem
    wvdial mgetty efax
  )
fi
[ "${1:-}" = --fuzz ] && packages+=(clang libclang-rt-14-dev)
[ "${1:-}" = --format ] && packages+=(clang-format)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "install-deps.sh: these packages are missing: ${missing[*]}" >&2
    echo "Run this script as root (sudo is not installed), or install them as root." >&2
    exit 1
  fi
  as_root=(sudo)
fi
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
