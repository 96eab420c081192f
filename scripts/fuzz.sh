#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan+UBSan) and runs one, or each for a while.
# usage: scripts/fuzz.sh TARGET [seconds]     run one target (60 s by default)
#        scripts/fuzz.sh --list               list the targets
#        scripts/fuzz.sh --all [seconds]      run every target (5 s each by default)
set -euo pipefail
cd "$(dirname "$0")/.."
case "${1:-}" in
  -h|--help) sed -n '2,6p' "$0" | cut -c3-; exit 0 ;;
esac
# Only the fuzz targets and what they link: the rest of the tree is not needed here.
bash scripts/build.sh fuzz fuzzers >/dev/null
if [ "${1:-}" = --list ] || [ -z "${1:-}" ]; then
  cat build-fuzz/fuzzers.txt; exit 0
fi
run() {
  local target=$1 secs=$2 corpus=build-fuzz/corpus/$1 seeds=()
  mkdir -p "$corpus"
  [ -d "fuzz/corpus/$target" ] && seeds=("fuzz/corpus/$target")
  build-fuzz/bin/"$target" -max_total_time="$secs" -print_final_stats=1 "$corpus" "${seeds[@]}"
}
if [ "$1" = --all ]; then
  secs=${2:-5}
  mkdir -p build-fuzz/corpus
  while read -r target; do
    [ -n "$target" ] || continue
    echo "== $target ($secs s)"
    log=build-fuzz/corpus/$target.log
    if ! run "$target" "$secs" >"$log" 2>&1; then
      cat "$log"; echo "fuzz.sh: $target failed" >&2; exit 1
    fi
    grep -E '^stat::number_of_executed_units|^Done' "$log" || true
  done < build-fuzz/fuzzers.txt
  exit 0
fi
target=$1
if ! grep -qx "$target" build-fuzz/fuzzers.txt; then
  echo "fuzz.sh: no fuzz target $target; the targets are:" >&2
  cat build-fuzz/fuzzers.txt >&2
  exit 2
fi
run "$target" "${2:-60}"
