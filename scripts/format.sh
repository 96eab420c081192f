#!/usr/bin/env bash
# Formats the tracked C and C++ sources with the committed style (never Markdown or other text).
# usage: scripts/format.sh [--check]
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.c' '*.cc' '*.cpp' '*.h' '*.hpp')
if [ "${1:-}" = --check ]; then
  clang-format --dry-run --Werror "${files[@]}"
else
  clang-format -i "${files[@]}"
fi
