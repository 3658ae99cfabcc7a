#!/usr/bin/env bash
# Checks that every C++ file git tracks is laid out as .clang-format says.
# With --fix, lays them out so instead. Needs the clang-format of Debian 12
# (version 14): another version may lay the same code out differently.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh clang-format
mapfile -t sources < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = --fix ]; then
  clang-format -i "${sources[@]}"
else
  clang-format --dry-run --Werror "${sources[@]}"
fi
