#!/usr/bin/env bash
# Whole syncs of real-world mail through the sync host with the real conduit and Simple MAPI
# libraries: messages with an unusable boundary, a header block without its empty line, a
# Content-Type without subtype, HTML beside plain text and a sender without address reach
# the handheld with their text; on a Japanese desktop with NativeText=1, ISO-2022-JP,
# EUC-JP and UTF-8 mail reaches it as Shift_JIS.
# usage: mapi_real_mail_test.sh TETHERSYNC
set -euo pipefail
tethersync=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Texts are compared byte for byte in the handheld's code page.
export LC_ALL=C
export TETHER_PLATFORM_HOME=$work/platform HOME=$work TETHER_MAPI_PROFILES=$work/profiles.ini
export TMPDIR=$work/tmp TETHER_MAPI_CACHE=$work/cache XDG_CACHE_HOME=$work/.cache
mkdir -p "$TMPDIR"
fail() {
    echo "FAILED: $*"
    echo "--- log:"; cat "$TETHER_DATA_DIR/alice/SyncLog.txt" 2>/dev/null || true
    echo "--- handheld:"; "$tethersync" mail list 2>/dev/null || true
    exit 1
}
ts() { "$tethersync" "$@" >/dev/null || fail "tethersync $*"; }
# Handheld id of the inbox mail with this subject.
hh_id() { "$tethersync" mail list --category inbox | awk -F'\t' -v s="$1" '$6 == s { print $1 }'; }
# A handheld user "alice" synchronising with the Maildir $1 under code page $2.
setup() {
    export TETHER_DATA_DIR=$work/data-$2 TETHER_IMAGE=$work/handheld-$2.img TETHER_CODEPAGE=$2
    cat >"$TETHER_MAPI_PROFILES" <<EOF
[Test]
Store=$1
Address=alice@example.org
NativeText=1
Default=1
EOF
    ts user add alice
    ts image create --user alice
    for kv in "System Test Mail" "Interface MAPI32" "Profile Test" "UserAccount alice@example.org"; do
        read -r key value <<<"$kv"
        ts user set --user alice "$key" "$value"
    done
    ts action set synchronize
    "$tethersync" sync >"$work/out.txt" 2>&1 || fail "sync exit $?: $(cat "$work/out.txt")"
}
# The shown handheld mail with this subject.
shown() {
    local id
    id=$(hh_id "$1")
    [ -n "$id" ] || fail "mail '$1' did not reach the handheld"
    "$tethersync" mail show "$id"
}

# ---- code page 1252: messages that lost their text ----
store=$work/Maildir
mkdir -p "$store"/{new,cur,tmp}
printf 'From: ann@example.org\nSubject: No boundary\nContent-Type: multipart/mixed\n\nText of a multipart without boundary.\n' \
    >"$store/new/1796720400.noboundary.test"
printf 'From: ann@example.org\nSubject: No empty line\nText right after the headers.\n' \
    >"$store/new/1796720401.noblank.test"
printf 'From: ann@example.org\nSubject: No subtype\nContent-Type: text\n\nText without a subtype.\n' \
    >"$store/new/1796720402.subtype.test"
printf 'From: ann@example.org\nSubject: Beside HTML\nContent-Type: multipart/mixed; boundary=B\n\n--B\nContent-Type: text/plain\n\nPlain beside HTML.\n--B\nContent-Type: text/html\n\n<p>Only in HTML.</p>\n--B--\n' \
    >"$store/new/1796720403.html.test"
printf 'From: MAILER DAEMON <>\nSubject: Bounce\n\nYour mail could not be delivered.\n' \
    >"$store/new/1796720404.daemon.test"
setup "$store" 1252
shown "No boundary" | grep -q 'Text of a multipart without boundary.' || fail "multipart without boundary"
shown "No empty line" | grep -q 'Text right after the headers.' || fail "header block without empty line"
shown "No subtype" | grep -q 'Text without a subtype.' || fail "Content-Type without subtype"
shown "Beside HTML" >"$work/html.txt"
grep -q 'There are 1 file(s) attached to this message on your Desktop.' "$work/html.txt" \
    || fail "HTML beside plain text not listed: $(cat "$work/html.txt")"
grep -q 'Plain beside HTML.' "$work/html.txt" || fail "plain text beside HTML"
shown "Bounce" | grep -q '^From: MAILER DAEMON' || fail "sender name without address"

# ---- code page 932 with NativeText=1: nothing reaches the handheld undecoded ----
store=$work/Maildir932
mkdir -p "$store"/{new,cur,tmp}
printf 'From: =?ISO-2022-JP?B?GyRCOzNFRBsoQg==?= <yamada@example.jp>\nSubject: =?ISO-2022-JP?B?GyRCRnxLXBsoQg==?=\nContent-Type: text/plain; charset=ISO-2022-JP\n\n\033$BF|K\\\033(B\n' \
    >"$store/new/1796720500.jis.test"
printf 'From: yamada@example.jp\nSubject: EUC\nContent-Type: text/plain; charset=EUC-JP\nContent-Transfer-Encoding: 8bit\n\n\306\374\313\334\n' \
    >"$store/new/1796720501.euc.test"
printf 'From: yamada@example.jp\nSubject: =?UTF-8?B?5pel5pys6Kqe?=\nContent-Type: text/plain; charset=UTF-8\n\n\343\201\223\343\202\223\343\201\253\343\201\241\343\201\257\343\200\202\n' \
    >"$store/new/1796720502.utf8.test"
setup "$store" 932
nihon=$(printf '\223\372\226\173')
yamada=$(printf '\216\122\223\143')
shown "$nihon" >"$work/jis.txt"
grep -qF "From: yamada@example.jp ($yamada)" "$work/jis.txt" || fail "ISO-2022-JP sender name: $(cat "$work/jis.txt")"
grep -qF "$nihon" <(sed -n '/^$/,$p' "$work/jis.txt") || fail "ISO-2022-JP body"
shown "EUC" | grep -qF "$nihon" || fail "EUC-JP body: $(shown EUC)"
shown "$(printf '\223\372\226\173\214\352')" \
    | grep -qF "$(printf '\202\261\202\361\202\311\202\277\202\315\201\102')" || fail "UTF-8 mail"

echo "real-world mail through whole syncs: all texts reached the handheld"
