#!/usr/bin/env bash
# Installs what is missing, checks the layout of the C++ files
# (scripts/check_format.sh), builds everything and runs every test through
# ctest; then builds a second tree with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs every test but the 200-kill crash loop
# in it (KESTROVA_SANITIZE_PASS=0 skips that pass); last, builds the Debian
# package and checks it without installing it for good.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/check_format.sh
jobs=$(nproc)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
export QT_QPA_PLATFORM=offscreen

build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTROVA_WERROR=ON "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$jobs"
(cd "$build" && ctest --output-on-failure -j"$jobs" --timeout 300 ${CTEST_ARGS:-})

if [ "${KESTROVA_SANITIZE_PASS:-1}" != 0 ]; then
  # The benchmark is not run here, so it is not built; -O1 keeps the
  # sanitizers' stack traces readable at a modest cost in speed.
  san=${SANITIZE_BUILD_DIR:-build-sanitize}
  cmake -S . -B "$san" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
    -DKESTROVA_SANITIZE=ON -DKESTROVA_BUILD_BENCH=OFF -DKESTROVA_WERROR=ON "${launcher[@]}" >/dev/null
  cmake --build "$san" -j"$jobs"
  export ASAN_OPTIONS=detect_leaks=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  (cd "$san" && ctest --output-on-failure -j"$jobs" --timeout 600 -LE crash ${CTEST_ARGS:-})
fi

# The package: built, linted and checked without installing it for good.
bash scripts/check_package.sh
