#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan+UBSan) and runs one.
# usage: scripts/fuzz.sh TARGET [seconds]     (scripts/fuzz.sh --list lists them)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh fuzz >/dev/null
if [ "${1:-}" = --list ] || [ -z "${1:-}" ]; then
  ls build-fuzz/bin | grep '^fuzz_' || true; exit 0
fi
target=$1; secs=${2:-60}
corpus=build-fuzz/corpus/$target; mkdir -p "$corpus"
seeds=()
[ -d "fuzz/corpus/$target" ] && seeds=("fuzz/corpus/$target")
build-fuzz/bin/$target -max_total_time="$secs" -print_final_stats=1 "$corpus" "${seeds[@]}"
