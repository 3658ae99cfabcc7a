#!/usr/bin/env bash
# Installs what is missing, builds everything, runs every test through ctest,
# then builds the Debian package and checks it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
cd "$build"
ctest --output-on-failure -j"$(nproc)" --timeout 300 ${CTEST_ARGS:-}
cd - >/dev/null
# The package: built, linted and checked without installing it for good.
bash scripts/check_package.sh
