#!/usr/bin/env bash
# Checks that a shared library exports exactly the conduit's four entry points.
# usage: check_exports.sh LIBRARY
set -euo pipefail
lib=$1
actual=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TtWwDdBbVvRr]$/ {print $3}' | sort)
expected=$(printf '%s\n' GetConduitInfo GetConduitName GetConduitVersion OpenConduit | sort)
if [ "$actual" != "$expected" ]; then
  echo "unexpected export list of $lib:"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
echo "exports of $lib: $(echo $actual)"
