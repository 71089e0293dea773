#!/usr/bin/env bash
# Checks that every tracked C++ file is formatted as .clang-format says; changes nothing.
# Exit status 0 when all are, 1 when any file differs (clang-format names each place).
# Installs clang-format first when it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || scripts/install-deps.sh --format
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror || exit 1
