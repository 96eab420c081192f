#!/bin/sh
# usage: check_exports.sh LIBRARY SYMBOL...: the library's exported symbols are exactly these.
lib=$1; shift
actual=$(nm -D --defined-only "$lib" | awk '{print $3}' | sort | tr '\n' ' ')
expected=$(printf '%s\n' "$@" | sort | tr '\n' ' ')
if [ "$actual" != "$expected" ]; then
  echo "exported: $actual"
  echo "expected: $expected"
  exit 1
fi
echo "exported: $actual"
