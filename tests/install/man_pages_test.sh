#!/usr/bin/env bash
# The man pages render with man -l without a warning, and tethersync's page names every
# command that tethersync --help lists.
# usage: man_pages_test.sh SOURCE_DIR TETHERSYNC
set -euo pipefail
src=$1 tethersync=$2
fail() { echo "FAILED: $*"; exit 1; }
warn=$(mktemp /tmp/man_warnings_XXXXXX)
trap 'rm -f "$warn"' EXIT
pages=("$src"/man/*.[13])
[ ${#pages[@]} -ge 7 ] || fail "man pages missing"
for page in "${pages[@]}"; do
  text=$(MANWIDTH=100 man --warnings -l "$page" 2>"$warn") || fail "man -l $page"
  [ ! -s "$warn" ] || fail "$page: $(cat "$warn")"
  grep -q "^NAME" <<<"$text" || fail "$page has no NAME section"
done
page=$(MANWIDTH=200 man -l "$src/man/tethersync.1" 2>/dev/null)
count=0
while read -r command; do
  grep -qF -- "$command" <<<"$page" || fail "tethersync.1 does not describe '$command'"
  count=$((count + 1))
done < <("$tethersync" --help | sed -n 's/^  \([a-z]\+\( [a-z]\+\)\?\)  .*/\1/p')
[ "$count" -ge 20 ] || fail "only $count commands read from tethersync --help"
echo "$count commands of tethersync --help are in its man page; ${#pages[@]} pages render cleanly"
