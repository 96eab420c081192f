#!/usr/bin/env bash
# Whole syncs through the sync host with the real conduit and Simple MAPI libraries over a
# temporary Maildir: the first sync (inbox to handheld, attachments notice, outbox sent with
# its signature and high-priority subject), read marks and deletions in both directions,
# a sync with nothing to do, the thunked "mapi" interface, "mapi" on a system without the
# thunk, and the VIM interfaces (the logon fails and reports).
# usage: mapi_sync_test.sh TETHERSYNC NO_THUNK_LIBRARY_FOLDER
set -euo pipefail
tethersync=$1
nothunk=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TETHER_DATA_DIR=$work/data TETHER_PLATFORM_HOME=$work/platform HOME=$work
export TETHER_IMAGE=$work/handheld.img TETHER_MAPI_PROFILES=$work/profiles.ini
export TMPDIR=$work/tmp TETHER_MAPI_CACHE=$work/cache XDG_CACHE_HOME=$work/.cache
mkdir -p "$TMPDIR"
log=$work/data/alice/SyncLog.txt
store=$work/Maildir
sent=$work/Sent
fail() {
    echo "FAILED: $*"
    echo "--- log:"; cat "$log" 2>/dev/null || true
    echo "--- handheld:"; "$tethersync" mail list 2>/dev/null || true
    echo "--- Maildir:"; find "$store" "$sent" -type f 2>/dev/null || true
    exit 1
}
ts() { "$tethersync" "$@" >/dev/null || fail "tethersync $*"; }
sync() {
    : >"$log"
    "$tethersync" sync >"$work/out.txt" 2>&1 || fail "sync exit $?: $(cat "$work/out.txt")"
}
# Handheld id of the inbox mail with this subject.
hh_id() { "$tethersync" mail list --category inbox | awk -F'\t' -v s="$1" '$6 == s { print $1 }'; }
hh_marks() { "$tethersync" mail list --category inbox | awk -F'\t' -v s="$1" '$6 == s { print $3 }'; }
file_of() { find "$store/new" "$store/cur" -name "$1*" | head -1; }
no_problems() { ! cut -f3- "$log" | grep -q '^   - ' || fail "problem lines in the log"; }

mkdir -p "$store"/{new,cur,tmp}
cat >"$store/new/1796720400.plain.test" <<'EOF'
From: Ann Lee <ann@example.org>
To: Alice <alice@example.org>
Subject: Plain
Date: Mon, 07 Dec 2026 10:00:00 +0000

Hello Alice.
EOF
cat >"$store/new/1796724000.files.test" <<'EOF'
From: bob@example.org
To: alice@example.org
Subject: Files
MIME-Version: 1.0
Content-Type: multipart/mixed; boundary=B

--B
Content-Type: text/plain

See the files.
--B
Content-Type: text/plain; name=a.txt
Content-Disposition: attachment; filename=a.txt

first file
--B
Content-Type: application/pdf
Content-Disposition: attachment; filename=b.pdf
Content-Transfer-Encoding: base64

JVBERi0=
--B--
EOF
cat >"$store/cur/1796727600.seen.test:2,S" <<'EOF'
From: carol@example.org
To: alice@example.org
Subject: Seen
Date: Mon, 07 Dec 2026 12:00:00 +0000

Already read.
EOF
printf 'Bob Brown <bob@example.org>\n' >"$work/book.txt"
cat >"$TETHER_MAPI_PROFILES" <<EOF
[Test]
Store=$store
Sent=$sent
Address=alice@example.org
DisplayName=Alice
AddressBook=$work/book.txt
Default=1
EOF

ts user add alice
ts image create --user alice
for kv in "System Test Mail" "Interface MAPI32" "Profile Test" "UserAccount alice@example.org"; do
    read -r key value <<<"$kv"
    ts user set --user alice "$key" "$value"
done
ts action set synchronize
ts prefs set --signature "Sent from my handheld"
ts mail compose --to "Bob Brown" --subject "Urgent" --priority high --signature --body "Call me."
ts mail compose --to "zed@example.net" --subject "Normal" --body "No signature."

# ---- first sync ----
sync
no_problems
[ "$("$tethersync" mail list --category outbox)" = "no mail" ] || fail "outbox not emptied"
for s in Plain Files Seen; do [ -n "$(hh_id "$s")" ] || fail "inbox mail $s missing"; done
[ "$(hh_marks Seen)" = "R--" ] || fail "read mark of Seen: $(hh_marks Seen)"
[ "$(hh_marks Plain)" = "---" ] || fail "read mark of Plain: $(hh_marks Plain)"
"$tethersync" mail show "$(hh_id Files)" >"$work/files.txt"
grep -q 'There are 2 file(s) attached to this message on your Desktop.' "$work/files.txt" \
    || fail "attachments notice: $(cat "$work/files.txt")"
[ -z "$(ls -A "$TMPDIR")" ] || fail "attachment files left: $(ls "$TMPDIR")"
[ "$(find "$sent/cur" -type f | wc -l)" = 2 ] || fail "sent mail count"
urgent=$(grep -l '^Subject: (High Priority) Urgent' "$sent"/cur/*) || fail "high-priority subject"
grep -q '^To: Bob Brown <bob@example.org>' "$urgent" || fail "recipient not resolved by name"
tr -d '\r' <"$urgent" | grep -qx 'Sent from my handheld' || fail "signature missing"
normal=$(grep -l '^Subject: Normal' "$sent"/cur/*) || fail "second sent mail"
! grep -q 'Sent from my handheld' "$normal" || fail "signature without the flag"
[ -n "$(file_of 1796720400.plain.test)" ] || fail "Maildir changed by the first sync"
case "$(file_of 1796720400.plain.test)" in *,*S*) fail "the copy marked the desktop mail read" ;; esac

# ---- nothing changed: nothing moves ----
before=$("$tethersync" mail list)
sync
no_problems
[ "$("$tethersync" mail list)" = "$before" ] || fail "a sync without changes changed the handheld"

# ---- what a killed run left is removed by the next one, and never taken for mail or state ----
own=1796740000.M1Q1R0123456789abcdef.test
printf 'From: x@example.org\nSubject: Half\n\nHalf a mess' >"$store/tmp/$own"
printf 'From: y@example.org\nSubject: Theirs\n\nStill being written' >"$store/tmp/1796740000.P9.other"
state=$work/data/alice/mail/mail.dat
[ -f "$state" ] || fail "no state file at $state"
printf 'not a state' >"$state.tmp0badcafe"
printf 'part' >"$TMPDIR/mapi-AbC123-a.txt"
sync
no_problems
[ ! -e "$store/tmp/$own" ] || fail "a killed delivery's file stayed in tmp/"
[ ! -e "$state.tmp0badcafe" ] || fail "a killed save's temporary file stayed"
[ ! -e "$TMPDIR/mapi-AbC123-a.txt" ] || fail "a killed read's attachment file stayed"
[ -e "$store/tmp/1796740000.P9.other" ] || fail "another program's fresh delivery was removed"
[ "$("$tethersync" mail list)" = "$before" ] || fail "leftovers changed the handheld"
rm "$store/tmp/1796740000.P9.other"

# ---- read marks: handheld to desktop, desktop to handheld ----
ts mail read "$(hh_id Plain)"
mv "$store/new/1796724000.files.test" "$store/cur/1796724000.files.test:2,S"
sync
no_problems
case "$(file_of 1796720400.plain.test)" in *:2,*S*) ;; *) fail "read mark did not reach the desktop" ;; esac
[ "$(hh_marks Files)" = "R--" ] || fail "desktop read mark did not reach the handheld"

# ---- deletions: handheld to desktop, desktop to handheld ----
ts mail delete "$(hh_id Plain)"
rm "$store/cur/1796727600.seen.test:2,S"
sync
no_problems
[ -z "$(file_of 1796720400.plain.test)" ] || fail "deleted on the handheld, still on the desktop"
[ -z "$(hh_id Seen)" ] || fail "deleted on the desktop, still on the handheld"
[ -n "$(hh_id Files)" ] || fail "an untouched mail went away"

# ---- the thunked interface carries the same sync ----
ts user set --user alice Interface mapi
cat >"$store/new/1796731200.thunk.test" <<'EOF'
From: dan@example.org
To: alice@example.org
Subject: Through the thunk

Hi.
EOF
sync
no_problems
[ -n "$(hh_id 'Through the thunk')" ] || fail "mapi: new desktop mail not copied"

# ---- "mapi" without the thunk: the logon fails and says so ----
before=$("$tethersync" mail list)
: >"$log"
TETHER_LIBRARY_PATH=$nothunk "$tethersync" sync >"$work/out.txt" 2>&1 || true
grep -q '   - Could not log on to the Desktop Mail System.' "$log" || fail "no logon report"
! grep -q 'Logoff' "$log" || fail "logoff reported after a failed logon"
[ "$("$tethersync" mail list)" = "$before" ] || fail "handheld changed without a logon"

# ---- the VIM interfaces have no client yet: the logon reports, nothing changes ----
for interface in vim32 NotesVIM32; do
    ts user set --user alice Interface "$interface"
    : >"$log"
    "$tethersync" sync >"$work/out.txt" 2>&1 || true
    grep -q '   - Could not log on to the Desktop Mail System.' "$log" || fail "$interface: no logon report"
    [ "$("$tethersync" mail list)" = "$before" ] || fail "$interface: handheld changed"
done

# ---- a store folder that is no Maildir: the logon is refused, the handheld keeps its mail ----
ts user set --user alice Interface MAPI32
mkdir -p "$work/NotMaildir"
sed -i "s|^Store=.*|Store=$work/NotMaildir|" "$TETHER_MAPI_PROFILES"
: >"$log"
"$tethersync" sync >"$work/out.txt" 2>&1 || true
grep -q '   - Could not log on to the Desktop Mail System.' "$log" || fail "no logon report"
grep -q "mapi32: profile \"Test\": the store $work/NotMaildir is not a Maildir" "$work/out.txt" \
    || fail "no reason given: $(cat "$work/out.txt")"
[ "$("$tethersync" mail list)" = "$before" ] || fail "a folder that is no Maildir emptied the handheld"
[ -z "$(ls -A "$work/NotMaildir")" ] || fail "Maildir folders made in $work/NotMaildir"

echo "whole syncs with the Simple MAPI back-end: all scenarios as expected"
