#!/usr/bin/env bash
# Configures and builds one build folder.
# usage: scripts/build.sh [release|sanitize|fuzz] [ninja targets...]
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:-release}; shift || true
extra=()
case "$kind" in
  release)  dir=build;          extra=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  sanitize) dir=build-sanitize; extra=(-DCMAKE_BUILD_TYPE=Debug -DTM_SANITIZE=ON -DTM_BUILD_BENCH=OFF) ;;
  fuzz)     dir=build-fuzz;     extra=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTM_SANITIZE=ON -DTM_BUILD_FUZZERS=ON
                                       -DTM_BUILD_BENCH=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  *) echo "usage: $0 [release|sanitize|fuzz] [targets...]" >&2; exit 2 ;;
esac
# Let ccache share results between clones in different folders.
export CCACHE_BASEDIR="$PWD"
werror=OFF
if [ "${CI:-}" = true ]; then werror=ON; fi
cmake -S . -B "$dir" -G Ninja -DTM_WERROR=$werror "${extra[@]}" >/dev/null
ninja -C "$dir" "$@"
