#!/usr/bin/env bash
# Makes the Debian package from this tree: installs the packages the build needs (not those of
# the tests), builds only what the package ships (no tests, no benchmarks) into build-package/
# (or the directory given) and runs CPack there. The last line is the package's path.
#   scripts/package.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-package}
scripts/install-deps.sh --package
scripts/build.sh "$dir" -DKALVEX_BUILD_TESTS=OFF -DKALVEX_BENCH=OFF
rm -f "$dir"/kalvex-modem-diag_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$dir"/kalvex-modem-diag_*.deb
