#!/usr/bin/env bash
# Whole syncs through the sync host with the real conduit and VIM libraries over a
# temporary post office: the first sync (inbox to handheld, the attachment list without
# "rfc822.txt", the outbox sent to an account by its address-book name and to the Internet
# through the gateway), a sync with nothing to do, read marks and deletions in both
# directions (a handheld deletion files the mail in the Trash), the Notes interface, a
# wrong password, and the VIM run of the demo.
# usage: vim_sync_test.sh TETHERSYNC POSTOFFICE LIBVIM32
set -euo pipefail
tethersync=$1
postoffice=$2
libvim=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TETHER_DATA_DIR=$work/data TETHER_PLATFORM_HOME=$work/platform HOME=$work
export TETHER_IMAGE=$work/handheld.img TMPDIR=$work/tmp
mkdir -p "$TMPDIR"
log=$work/data/alice/SyncLog.txt
po=$work/po
inbox=$po/accounts/alice
fail() {
    echo "FAILED: $*"
    echo "--- log:"; cat "$log" 2>/dev/null || true
    echo "--- handheld:"; "$tethersync" mail list 2>/dev/null || true
    echo "--- post office:"; find "$po" -type f 2>/dev/null || true
    exit 1
}
ts() { "$tethersync" "$@" >/dev/null || fail "tethersync $*"; }
sync() {
    : >"$log"
    "$tethersync" sync >"$work/out.txt" 2>&1 || fail "sync exit $?: $(cat "$work/out.txt")"
}
hh_id() { "$tethersync" mail list --category inbox | awk -F'\t' -v s="$1" '$6 == s { print $1 }'; }
hh_marks() { "$tethersync" mail list --category inbox | awk -F'\t' -v s="$1" '$6 == s { print $3 }'; }
file_of() { find "$inbox/new" "$inbox/cur" -name "$1*" | head -1; }
no_problems() { ! cut -f3- "$log" | grep -q '^   - ' || fail "problem lines in the log"; }

# ---- the post office, set up with its tool ----
"$postoffice" create "$po" --name Main --domain po.example >/dev/null || fail "create"
echo secret | "$postoffice" adduser "$po" alice --display-name "Alice Archer" >/dev/null || fail "adduser"
echo other | "$postoffice" adduser "$po" bob --display-name "Bob Brown" >/dev/null || fail "adduser bob"
"$postoffice" addbook "$po" People bob --name "Bob Brown" >/dev/null || fail "addbook"
[ "$(stat -c %a "$po/users")" = 600 ] || fail "user list mode"
! grep -q secret "$po/users" || fail "clear password in the user list"

cat >"$inbox/new/1796720400.plain.test" <<'EOF2'
From: Ann Lee <ann@example.org>
To: Alice <alice@po.example>
Subject: Plain
Date: Mon, 07 Dec 2026 10:00:00 +0000

Hello Alice.
EOF2
cat >"$inbox/new/1796724000.files.test" <<'EOF2'
From: bob@example.org
To: alice@po.example
Subject: Files
MIME-Version: 1.0
Content-Type: multipart/mixed; boundary=B

--B
Content-Type: text/plain

See the files.
--B
Content-Type: text/plain; name=rfc822.txt
Content-Disposition: attachment; filename=rfc822.txt

Received: from gateway
--B
Content-Type: application/pdf
Content-Disposition: attachment; filename=b.pdf
Content-Transfer-Encoding: base64

JVBERi0=
--B--
EOF2
cat >"$inbox/cur/1796727600.seen.test:2,S" <<'EOF2'
From: carol@example.org
To: alice@po.example
Subject: Seen
Date: Mon, 07 Dec 2026 12:00:00 +0000

Already read.
EOF2

ts user add alice
ts image create --user alice
for kv in "System cc:Mail" "Interface VIM32" "UserAccount alice" "Password secret" "PostOffice $po"; do
    read -r key value <<<"$kv"
    ts user set --user alice "$key" "$value"
done
ts action set synchronize
ts prefs set --signature "Sent from my handheld"
ts mail compose --to "Bob Brown" --subject "For Bob" --signature --body "Lunch?"
ts mail compose --to "zed@example.net" --subject "Outside" --body "Through the gateway."

# ---- first sync ----
sync
no_problems
[ "$("$tethersync" mail list --category outbox)" = "no mail" ] || fail "outbox not emptied"
for s in Plain Files Seen; do [ -n "$(hh_id "$s")" ] || fail "inbox mail $s missing"; done
[ "$(hh_marks Seen)" = "R--" ] || fail "read mark of Seen: $(hh_marks Seen)"
[ "$(hh_marks Plain)" = "---" ] || fail "read mark of Plain: $(hh_marks Plain)"
"$tethersync" mail show "$(hh_id Files)" >"$work/files.txt"
grep -q 'The following file(s) are attached to this message on your Desktop:' "$work/files.txt" \
    || fail "attachment list: $(cat "$work/files.txt")"
grep -q 'b.pdf' "$work/files.txt" || fail "b.pdf not listed"
! grep -q 'rfc822.txt' "$work/files.txt" || fail "rfc822.txt listed"
[ "$(find "$po/accounts/bob/new" -type f | wc -l)" = 1 ] || fail "mail for bob not delivered"
bobmail=$(find "$po/accounts/bob/new" -type f)
grep -q '^Subject: For Bob' "$bobmail" || fail "subject of bob's mail"
grep -q '^From: Alice Archer <alice@po.example>' "$bobmail" || fail "sender of bob's mail"
tr -d '\r' <"$bobmail" | grep -qx 'Sent from my handheld' || fail "signature missing"
[ "$(find "$po/gateway/new" -type f | wc -l)" = 1 ] || fail "mail for the Internet not in the gateway"
grep -q '^To: zed@example.net' "$po"/gateway/new/* || fail "gateway recipient"
[ -z "$(find "$po" -path "$po/*/tmp/*" -type f)" ] || fail "files left in a tmp folder"
case "$(file_of 1796720400.plain.test)" in *,*S*) fail "the copy marked the desktop mail read" ;; esac

# ---- nothing changed: nothing moves ----
before=$("$tethersync" mail list)
sync
no_problems
[ "$("$tethersync" mail list)" = "$before" ] || fail "a sync without changes changed the handheld"

# ---- read marks: handheld to desktop, desktop to handheld ----
ts mail read "$(hh_id Plain)"
mv "$inbox/new/1796724000.files.test" "$inbox/cur/1796724000.files.test:2,S"
sync
no_problems
case "$(file_of 1796720400.plain.test)" in *:2,*S*) ;; *) fail "read mark did not reach the desktop" ;; esac
[ "$(hh_marks Files)" = "R--" ] || fail "desktop read mark did not reach the handheld"

# ---- deletions: handheld to the desktop's Trash, desktop to handheld ----
ts mail delete "$(hh_id Plain)"
rm "$inbox/cur/1796727600.seen.test:2,S"
sync
no_problems
[ -z "$(file_of 1796720400.plain.test)" ] || fail "deleted on the handheld, still in the inbox"
[ -n "$(find "$inbox/.Trash/cur" -name '1796720400.plain.test*')" ] || fail "not in the Trash"
[ -z "$(hh_id Seen)" ] || fail "deleted on the desktop, still on the handheld"
[ -n "$(hh_id Files)" ] || fail "an untouched mail went away"

# ---- Notes: the library of the Notes folder, the desktop's default session ----
mkdir -p "$work/notes" "$TETHER_PLATFORM_HOME/windows"
cp "$libvim" "$work/notes/vim32.dll"
printf '[Lotus Applications]\nnotes=%s/notes/notes\n' "$work" >"$TETHER_PLATFORM_HOME/windows/lotus.ini"
printf '[Default]\nPostOffice=%s\nUser=alice\n' "$po" >"$TETHER_PLATFORM_HOME/windows/vim.ini"
ts user set --user alice Interface notesvim32
cat >"$inbox/new/1796731200.notes.test" <<'EOF2'
From: dan@example.org
To: alice@po.example
Subject: Through Notes

Hi.
EOF2
sync
no_problems
[ -n "$(hh_id 'Through Notes')" ] || fail "notesvim32: new desktop mail not copied"

# ---- a wrong password: the logon fails and says so, nothing changes ----
ts user set --user alice Interface vim32
ts user set --user alice Password wrong
before=$("$tethersync" mail list)
: >"$log"
"$tethersync" sync >"$work/out.txt" 2>&1 || true
grep -q '   - Could not log on to the Desktop Mail System.' "$log" || fail "no logon report"
[ "$("$tethersync" mail list)" = "$before" ] || fail "handheld changed without a logon"

# ---- the demo's VIM run delivers to the other account and to the gateway ----
"$tethersync" demo >"$work/demo.txt" 2>&1 || fail "demo exit $?: $(tail -20 "$work/demo.txt")"
sed -n '/the same with Lotus cc:Mail through VIM/,$p' "$work/demo.txt" >"$work/demo-vim.txt"
grep -A1 "# Ann Lee's inbox" "$work/demo-vim.txt" | grep -q 'Plans' || fail "demo: no mail for Ann Lee"
grep -q '^To: friend@example.net' "$work/demo-vim.txt" || fail "demo: no mail through the gateway"
grep -q 'Welcome to the desktop inbox' "$work/demo-vim.txt" || fail "demo: inbox not copied"

echo "whole syncs with the VIM back-end: all scenarios as expected"
