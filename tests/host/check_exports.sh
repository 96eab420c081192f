#!/bin/sh
# usage: check_exports.sh LIBRARY NAME... : the library's exported functions are exactly NAME...
lib=$1; shift
actual=$(nm -D --defined-only "$lib" | awk '$2 == "T" {print $3}' | grep -v -E '^(_init|_fini)$' | sort)
expected=$(printf '%s\n' "$@" | sort)
if [ "$actual" != "$expected" ]; then
  echo "exports of $lib differ:"; {
    echo "expected:"; echo "$expected"; echo "actual:"; echo "$actual"; }
  exit 1
fi
echo "exports of $lib: as intended"
