#!/usr/bin/env bash
# A real user folder synced by the sync host with the conduit library: the do-nothing
# action logs one line; an unconfigured user is warned once and never again.
# usage: tethersync_sync_test.sh TETHERSYNC CONDUIT_LIBRARY
set -euo pipefail
tethersync=$1
conduit=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TETHER_DATA_DIR=$work/data TETHER_PLATFORM_HOME=$work/platform HOME=$work
export TETHER_IMAGE=$work/handheld.img
fail() { echo "FAILED: $*"; echo "--- log:"; cat "$log" 2>/dev/null || true; exit 1; }

"$tethersync" user add alice >/dev/null
"$tethersync" image create --user alice >/dev/null
log=$work/data/alice/SyncLog.txt
sync() { "$tethersync" sync --conduit "$conduit" >"$work/out.txt" 2>&1 || fail "sync exit $?: $(cat "$work/out.txt")"; }

# Do nothing: exactly one line, with nothing else from the conduit.
"$tethersync" action set nothing >/dev/null
sync
lines=$(cut -f2- "$log")
[ "$lines" = "$(printf -- '-1\tMail - sync configured to Do Nothing')" ] || fail "do-nothing log: $lines"

# Synchronize without mail settings: the two warning lines once, then silence.
"$tethersync" action set synchronize >/dev/null
: >"$log"
sync
expected=$(printf -- '22\t-- Mail\n22\t   - Your Tamarack Mail is not properly configured.  Launch Mail Setup through the Windows Start menu on your desktop. Select Programs, Tamarack Desktop program group, and choose the Mail Setup icon.')
[ "$(cut -f2- "$log")" = "$expected" ] || fail "first unconfigured sync"
grep -qi '^WarnedUnconfigured=1' "$work/data/alice/Sync.ini" || fail "flag not stored"
sync
sync
[ "$(cut -f2- "$log")" = "$expected" ] || fail "warning repeated"
[ ! -e "$work/data/alice/mail/mail.dat" ] || fail "state file written without a run"
echo "tethersync sync with the conduit: do-nothing and not-configured behaviour as expected"
