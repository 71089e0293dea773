#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, when any is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev
  libasound2-dev libx11-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth
  # Qt's Wayland platform, for QT_QPA_PLATFORM=wayland (without it Qt aborts at start).
  qt6-wayland
  # The Debian package (cpack -G DEB finds its library dependencies with dpkg-shlibdeps) and the
  # checks of the installed desktop entry, AppStream data and manual pages.
  dpkg-dev desktop-file-utils appstream man-db
  # runs the fleet playbook of contrib/ansible in its test
  ansible-core
  # A screen reader's view in the tests: a private session bus, the accessibility bus, and an
  # AT-SPI client that reads the dialogs as a screen reader does.
  dbus at-spi2-core python3-pyatspi
)
# The fuzz targets need clang and its libFuzzer runtime; the format check needs clang-format.
[ "${1:-}" = --fuzz ] && packages+=(clang libclang-rt-14-dev)
[ "${1:-}" = --format ] && packages+=(clang-format)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
