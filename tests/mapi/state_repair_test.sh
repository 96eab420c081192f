#!/usr/bin/env bash
# A damaged "mail.dat" with the real conduit over a Maildir: the sync stops with the error
# end line, a non-zero exit and the file's name, and leaves the file and the handheld as
# they are; "tethersync repair" moves the file aside and rebuilds the links by content,
# keeping outbox, filed and draft mail, without duplicating the inbox.
# usage: state_repair_test.sh TETHERSYNC
set -euo pipefail
tethersync=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TETHER_DATA_DIR=$work/data TETHER_PLATFORM_HOME=$work/platform HOME=$work
export TETHER_IMAGE=$work/handheld.img TETHER_MAPI_PROFILES=$work/profiles.ini
export TMPDIR=$work/tmp TETHER_MAPI_CACHE=none
mkdir -p "$TMPDIR" "$work/Maildir"/{new,cur,tmp} "$work/Sent"/{new,cur,tmp}
log=$work/data/alice/SyncLog.txt
state=$work/data/alice/mail/mail.dat
fail() {
    echo "FAILED: $*"
    echo "--- log:"; cat "$log" 2>/dev/null || true
    echo "--- handheld:"; "$tethersync" mail list 2>/dev/null || true
    exit 1
}
ts() { "$tethersync" "$@" >/dev/null 2>&1 || fail "tethersync $*"; }
for i in 1 2 3; do
    printf 'From: ann@example.org\nTo: alice@example.org\nSubject: Mail %s\nDate: Mon, 07 Dec 2026 1%s:00:00 +0000\n\nBody %s.\n' \
        "$i" "$i" "$i" >"$work/Maildir/new/1796720$i.test"
done
cat >"$TETHER_MAPI_PROFILES" <<EOF
[Test]
Store=$work/Maildir
Sent=$work/Sent
Address=alice@example.org
Default=1
EOF
ts user add alice
ts image create --user alice
for kv in "System Test Mail" "Interface MAPI32" "Profile Test" "UserAccount alice@example.org"; do
    read -r key value <<<"$kv"
    ts user set --user alice "$key" "$value"
done
ts action set synchronize
ts sync
id_of() { "$tethersync" mail list | awk -F'\t' -v s="$1" '$6 == s { print $1 }'; }
# Handheld-only mail of every kept kind, and a read mark still to be carried.
ts mail move "$(id_of 'Mail 3')" filed
ts sync
ts mail compose --to bob@example.org --subject "Draft" --body "Not yet."
ts mail move "$(id_of Draft)" draft
ts mail compose --to bob@example.org --subject "Note" --body "Kept."
ts mail move "$(id_of Note)" filed
ts mail compose --to bob@example.org --subject "Outgoing" --body "Send me."
ts mail read "$(id_of 'Mail 1')"

# ---- the damaged state file stops the sync and is left alone ----
size=$(stat -c %s "$state")
head -c $((size / 2)) "$state" >"$work/damaged"
cp "$work/damaged" "$state"
before=$("$tethersync" mail list)
: >"$log"
if "$tethersync" sync >"$work/out.txt" 2>&1; then fail "a sync over a damaged state file exited 0"; fi
grep -q "	17	   - Could not read the Desktop file $state\.$" "$log" || fail "no error naming the file"
grep -q '	21	Mail$' "$log" || fail "no error end line"
cmp -s "$state" "$work/damaged" || fail "the damaged state file was changed"
[ "$("$tethersync" mail list)" = "$before" ] || fail "the handheld changed"
[ -z "$(find "$work/Sent" -type f)" ] || fail "mail was sent"

# ---- repair: moved aside, rebuilt by content ----
: >"$log"
"$tethersync" repair --user alice >"$work/out.txt" 2>&1 || fail "repair exit $?: $(cat "$work/out.txt")"
moved=$(ls "$state".damaged-* 2>/dev/null | head -1)
[ -n "$moved" ] || fail "the damaged file was not moved aside"
cmp -s "$moved" "$work/damaged" || fail "the moved file is not the damaged one"
grep -q "Repair: the Desktop file $state was moved aside to $moved\." "$log" || fail "repair not logged"
grep -q '	20	Mail$' "$log" || fail "the repair sync did not end well"
! cut -f3- "$log" | grep -q '^   - ' || fail "problem lines in the repair's log"
list=$("$tethersync" mail list)
[ "$(awk -F'\t' '$2 == "inbox" { print $6 }' <<<"$list" | sort | tr '\n' ',')" = "Mail 1,Mail 2," ] ||
    fail "inbox after the repair: $list"
[ "$(awk -F'\t' '$2 == "filed" { print $6 }' <<<"$list" | sort | tr '\n' ',')" = "Mail 3,Note," ] ||
    fail "filed mail after the repair: $list"
[ "$(awk -F'\t' '$2 == "draft" { print $6 }' <<<"$list")" = "Draft" ] || fail "draft lost: $list"
[ -z "$(awk -F'\t' '$2 == "outbox"' <<<"$list")" ] || fail "outbox not sent: $list"
[ "$(grep -lh '^Subject: Outgoing' "$work"/Sent/new/* "$work"/Sent/cur/* 2>/dev/null | wc -l)" = 1 ] ||
    fail "the outbox mail was not sent exactly once"
ls "$work"/Maildir/cur/17967201.test:2,*S* >/dev/null 2>&1 || fail "the pending read mark was lost"
# The rebuilt state holds: the next sync has nothing to do.
: >"$log"
ts sync
! cut -f3- "$log" | grep -q '^   - ' || fail "problem lines after the repair"
[ "$("$tethersync" mail list)" = "$list" ] || fail "the sync after the repair changed the handheld"
# A repair for someone else's handheld is refused.
if "$tethersync" repair --user bob >/dev/null 2>&1; then fail "repair for another user ran"; fi
echo "damaged state file: refused, then repaired by content with the kept mail intact"
