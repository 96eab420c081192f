#!/usr/bin/env bash
# Mail Setup end to end: velkin --script sets up a user of a profile-based Simple MAPI
# system, a user of the default Simple MAPI profile and a VIM user; the next sync of each
# uses those settings.
# Usage: velkin_sync_test.sh VELKIN TETHERSYNC TORRIM FAKE_VIM_FOLDER
set -euo pipefail
VELKIN=$1 TETHERSYNC=$2 TORRIM=$3 FAKEVIM=$4
DIR=$(mktemp -d /tmp/velkin_sync_XXXXXX)
trap 'rm -rf "$DIR"' EXIT
export TETHER_DATA_DIR=$DIR/data TETHER_PLATFORM_HOME=$DIR/home XDG_RUNTIME_DIR=$DIR/run
export TETHER_MAPI_PROFILES=$DIR/profiles.ini TETHER_MAPI_CACHE=$DIR/cache TETHER_CODEPAGE=1252
fail() { echo "FAIL: $*"; exit 1; }

for box in work home; do
  mkdir -p "$DIR/$box/new" "$DIR/$box/cur" "$DIR/$box/tmp"
  printf 'From: Sender <s@example.org>\nTo: me@example.org\nSubject: Hello from %s\nDate: Tue, 08 Dec 2026 09:00:00 +0000\nMessage-ID: <%s@example.org>\n\nBody.\n' \
    "$box" "$box" > "$DIR/$box/new/1796720400.$box.test"
done
printf '[Work]\nStore=%s/work\n[Home]\nStore=%s/home\nDefault=1\n' "$DIR" "$DIR" > "$TETHER_MAPI_PROFILES"

for u in "Ann Lee" "Bob Stone" "Rez Vored"; do
  "$TETHERSYNC" user add "$u" > /dev/null
done
[ -f "$TETHER_DATA_DIR/mail.inf" ] || fail "user add did not install mail.inf"

# Ann: the profile-based system, profile Work chosen on the profile page.
printf 'expect 129\nselect 1006 TetherSync Maildir (profiles)\nnext\nexpect 131\nselect 1010 Work\nnext\nexpect 381\nfinish\n' |
  "$VELKIN" --script - -u "Ann Lee" > "$DIR/ann.out" || fail "velkin for Ann: $(cat "$DIR/ann.out")"
grep -q '^Profile=Work$' "$TETHER_DATA_DIR/LeeA/Sync.ini" || fail "Ann's settings: $(cat "$TETHER_DATA_DIR/LeeA/Sync.ini")"

# Bob: Simple MAPI without a profile name (the default profile), with the program's note.
printf 'select 1006 Simple MAPI mail (default profile)\nnext\nexpect 107\nfinish\nexpect 383\nok\n' |
  "$VELKIN" --script - -u "Bob Stone" > "$DIR/bob.out" || fail "velkin for Bob: $(cat "$DIR/bob.out")"
grep -q '^Profile=$' "$TETHER_DATA_DIR/StoneB/Sync.ini" || fail "Bob's settings"

# Rez: VIM, logon tested against the stand-in VIM library.
printf 'select 1006 VIM post office\nnext\ntype 1019 Rez Vored\ntype 1065 secret\nnext\ntype 1052 /srv/po\nnext\ntype 1060 Internet\nnext\nexpect 106\nfinish\n' |
  TETHER_LIBRARY_PATH=$FAKEVIM "$VELKIN" --script - -u "Rez Vored" > "$DIR/rez.out" || fail "velkin for Rez: $(cat "$DIR/rez.out")"
grep -q '^Interface=VIM32$' "$TETHER_DATA_DIR/VoredR/Sync.ini" || fail "Rez's settings"
grep -q '^PostOffice=/srv/po$' "$TETHER_DATA_DIR/VoredR/Sync.ini" || fail "Rez's post office"

# A script that does not fit: exit 4, nothing written.
set +e
printf 'next\nnext\n' | "$VELKIN" --script - -u "Ann Lee" > /dev/null 2>&1
[ $? -eq 4 ] || fail "a script error must exit with 4"
set -e
grep -q '^Profile=Work$' "$TETHER_DATA_DIR/LeeA/Sync.ini" || fail "a failed run changed Ann's settings"

# The syncs use the settings: Ann's handheld gets the Work inbox, Bob's the default (Home).
for u in "Ann Lee:work" "Bob Stone:home"; do
  name=${u%%:*} box=${u##*:}
  img=$DIR/$box.img
  "$TETHERSYNC" action set --user "$name" synchronize > /dev/null
  "$TETHERSYNC" image create --user "$name" --image "$img" > /dev/null
  "$TETHERSYNC" sync --image "$img" --conduit "$TORRIM" > "$DIR/$box.sync" 2>&1 || fail "sync of $name: $(cat "$DIR/$box.sync")"
  "$TETHERSYNC" mail list --image "$img" > "$DIR/$box.list"
  grep -q "Hello from $box" "$DIR/$box.list" || fail "$name's handheld: $(cat "$DIR/$box.list") $(cat "$DIR/$box.sync")"
done
# Rez's sync reads the VIM settings: no "not configured" warning.
img=$DIR/vim.img
"$TETHERSYNC" action set --user "Rez Vored" synchronize > /dev/null
"$TETHERSYNC" image create --user "Rez Vored" --image "$img" > /dev/null
"$TETHERSYNC" sync --image "$img" --conduit "$TORRIM" > "$DIR/vim.sync" 2>&1 || true
if grep -q "not properly configured" "$DIR/vim.sync"; then fail "Rez's sync ignored the settings"; fi
echo "velkin sync test passed"
