#!/usr/bin/env bash
# Whole-sync benchmark: a first sync of a 10,000-message Maildir into an empty handheld
# image and a no-change re-sync through tethersync (mail conduit + Simple MAPI library),
# timed in the same run as mbsync copying the same Maildir to an empty Maildir and
# re-running with no change. Prints a table with the ratios.
#
# usage: sync_vs_mbsync.sh [BUILD_DIR] [MESSAGES]
#   BUILD_DIR  a build folder holding bin/tethersync (default: ../../build)
#   MESSAGES   messages in the generated Maildir (default 10000)
# Environment: KEEP=1 keeps the work folder; NO_CACHE=1 runs every sync without the Simple
# MAPI library's converted-message cache; PROFILE=1 records a no-change re-sync with perf
# (when installed) and prints the top symbols.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
count=${2:-10000}
tethersync=$(cd "$build" && pwd)/bin/tethersync
[ -x "$tethersync" ] || { echo "no tethersync at $tethersync: build the tethersync, torrim and mapi32 targets" >&2; exit 2; }
case "$count" in '' | *[!0-9]*) echo "MESSAGES must be a number" >&2; exit 2 ;; esac

if ! command -v mbsync >/dev/null 2>&1; then
    echo "installing isync (mbsync) for the comparison" >&2
    if [ "$(id -u)" = 0 ]; then apt-get install -y isync >/dev/null; else sudo apt-get install -y isync >/dev/null; fi
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/sync-bench.XXXXXX")
cleanup() { if [ "${KEEP:-0}" = 1 ]; then echo "work folder kept: $work"; else rm -rf "$work"; fi; }
trap cleanup EXIT

# Everything the host, the conduit and the library touch lives in the work folder.
export TETHER_DATA_DIR=$work/data TETHER_PLATFORM_HOME=$work/platform HOME=$work
export XDG_CACHE_HOME=$work/cache XDG_DATA_HOME=$work/share XDG_CONFIG_HOME=$work/config
export TETHER_IMAGE=$work/handheld.img TETHER_MAPI_PROFILES=$work/profiles.ini
export TMPDIR=$work/tmp
if [ "${NO_CACHE:-0}" = 1 ]; then export TETHER_MAPI_CACHE=none; else export TETHER_MAPI_CACHE=$work/cache/mapi; fi
mkdir -p "$TMPDIR"
store=$work/Maildir

# ---- the Maildir: deterministic, varied sizes, about a fifth multipart with attachments ----
echo "building a Maildir of $count messages in $work" >&2
python3 - "$store" "$count" <<'EOF'
import os, random, sys
store, count = sys.argv[1], int(sys.argv[2])
rng = random.Random(20261208)
for sub in ("new", "cur", "tmp"):
    os.makedirs(os.path.join(store, sub), exist_ok=True)
words = ["meeting", "report", "handheld", "the", "and", "schedule", "tomorrow", "please",
         "notes", "budget", "review", "draft", "agenda", "travel", "Friday", "numbers"]
b64 = "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVphYmNkZWZnaGlqa2xtbm9wcXJzdHV2d3h5ejAx\n"
def text(n):
    out, line = [], 0
    size = 0
    while size < n:
        w = rng.choice(words)
        out.append(w)
        size += len(w) + 1
        line += len(w) + 1
        if line > 66:
            out.append("\n")
            line = 0
        else:
            out.append(" ")
    return "".join(out) + "\n"
for i in range(count):
    name = "%d.M%dP1.bench" % (1790000000 + i * 60, i)
    seen = i % 3 == 0
    path = os.path.join(store, "cur", name + ":2,S") if seen else os.path.join(store, "new", name)
    # Mostly small mail, some long bodies.
    r = rng.random()
    body = 200 + (rng.randrange(3000) if r < 0.8 else rng.randrange(12000) if r < 0.97 else rng.randrange(60000))
    head = ("From: Sender %d <s%d@example.org>\nTo: Me <me@example.org>\n"
            "Subject: Message %d about the %s\nDate: Mon, 07 Dec 2026 %02d:%02d:00 +0000\n"
            "Message-ID: <%d.bench@example.org>\nMIME-Version: 1.0\n"
            % (i % 97, i % 97, i, rng.choice(words), (i // 60) % 24, i % 60, i))
    if i % 5 == 0:
        att = b64 * ((2000 + rng.randrange(40000)) // 76)
        msg = (head + "Content-Type: multipart/mixed; boundary=BND%d\n\n--BND%d\n"
               "Content-Type: text/plain; charset=iso-8859-1\nContent-Transfer-Encoding: quoted-printable\n\n"
               "%s--BND%d\nContent-Type: application/octet-stream; name=file%d.bin\n"
               "Content-Disposition: attachment; filename=file%d.bin\nContent-Transfer-Encoding: base64\n\n"
               "%s--BND%d--\n" % (i, i, text(body).replace("the ", "Caf=E9 ", 1), i, i, i, att, i))
    else:
        msg = head + "Content-Type: text/plain; charset=us-ascii\n\n" + text(body)
    with open(path, "w") as f:
        f.write(msg)
EOF
cp -a "$store" "$work/mbsync-far"  # mbsync renames source files to record its ids
mkdir -p "$work/mbsync-near"

# ---- tethersync: user, Mail settings, profile, empty image ----
cat >"$TETHER_MAPI_PROFILES" <<EOF
[Bench]
Store=$store
Sent=$work/Sent
Address=me@example.org
DisplayName=Me
Default=1
EOF
ts() { "$tethersync" "$@" >/dev/null; }
ts user add bench
ts image create --user bench --capacity 4294967296
for kv in "System Bench Mail" "Interface MAPI32" "Profile Bench" "UserAccount me@example.org"; do
    read -r key value <<<"$kv"
    ts user set --user bench "$key" "$value"
done
ts action set synchronize
ts prefs set --mode all

# ---- mbsync: a two-way channel from the copied Maildir to an empty one ----
cat >"$work/mbsyncrc" <<EOF
MaildirStore far
Path $work/mbsync-far/
Inbox $work/mbsync-far/

MaildirStore near
Path $work/mbsync-near/
Inbox $work/mbsync-near/

Channel bench
Far :far:
Near :near:
Create Near
SyncState *
EOF

# Times a command: prints "wall user+sys" in seconds and its peak resident size in MB; fails
# the script when it fails. Every timed run starts two seconds (untimed) after the one
# before: real syncs are minutes apart, and mbsync waits out the current second when a
# Maildir changed within it, which a run right after the previous one would count.
timed() {
    local out=$work/timed.txt start end
    sleep 2
    start=$(date +%s.%N)
    if ! /usr/bin/env time -f '%U %S %M' -o "$out" "$@" >"$work/cmd.out" 2>&1; then
        echo "failed: $*" >&2
        cat "$work/cmd.out" >&2
        exit 1
    fi
    end=$(date +%s.%N)
    awk -v s="$start" -v e="$end" '{ printf "%.2f %.2f %.1f\n", e - s, $1 + $2, $3 / 1024 }' "$out"
}
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (package time)" >&2; exit 2; }

sync1=$(timed "$tethersync" sync)
echo "tethersync first sync: $sync1 (wall, cpu s)" >&2
handheld=$("$tethersync" mail list --category inbox | grep -c . || true)
if [ "${PROFILE:-0}" = 1 ] && command -v perf >/dev/null 2>&1; then
    perf record -q -o "$work/perf.data" "$tethersync" sync >/dev/null 2>&1 || true
    perf report -q -i "$work/perf.data" --sort dso,symbol --percent-limit 1.5 --stdio 2>/dev/null \
        | grep -v '^#' | grep -v '^$' | sed 's/[ -]*$//' | cut -c1-120 | head -30 >"$work/perf.txt" || true
fi
sync0=$(TETHER_MAPI_CACHE=none timed "$tethersync" sync)
echo "tethersync no-change, no cache: $sync0" >&2
sync2=$(timed "$tethersync" sync)
echo "tethersync no-change: $sync2" >&2
mb1=$(timed mbsync -q -c "$work/mbsyncrc" bench)
echo "mbsync first copy: $mb1" >&2
copied=$(find "$work/mbsync-near/new" "$work/mbsync-near/cur" -type f | wc -l)
mb2=$(timed mbsync -q -c "$work/mbsyncrc" bench)

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
read -r s1w s1c s1m <<<"$sync1"
read -r s0w s0c s0m <<<"$sync0"
read -r s2w s2c s2m <<<"$sync2"
read -r m1w m1c m1m <<<"$mb1"
read -r m2w m2c m2m <<<"$mb2"
echo
echo "messages in the Maildir: $count; on the handheld after the first sync: $handheld; copied by mbsync: $copied"
state=$(find "$work" -name mail.dat -printf '%s' -quit 2>/dev/null || true)
echo "state file (mail.dat): $(awk -v b="${state:-0}" 'BEGIN { printf "%.1f", b / 1048576 }') MB"
printf '%-34s %9s %9s %9s\n' "run" "wall s" "cpu s" "peak MB"
printf '%-34s %9s %9s %9s\n' "tethersync first sync" "$s1w" "$s1c" "$s1m"
printf '%-34s %9s %9s %9s\n' "tethersync no-change, no cache" "$s0w" "$s0c" "$s0m"
printf '%-34s %9s %9s %9s\n' "tethersync no-change re-sync" "$s2w" "$s2c" "$s2m"
printf '%-34s %9s %9s %9s\n' "mbsync first copy" "$m1w" "$m1c" "$m1m"
printf '%-34s %9s %9s %9s\n' "mbsync no-change re-run" "$m2w" "$m2c" "$m2m"
printf '%-34s %9s %9s\n' "ratio first (tethersync / mbsync)" "$(ratio "$s1w" "$m1w")" "$(ratio "$s1c" "$m1c")"
printf '%-34s %9s %9s\n' "ratio no-change, no cache" "$(ratio "$s0w" "$m2w")" "$(ratio "$s0c" "$m2c")"
printf '%-34s %9s %9s\n' "ratio no-change" "$(ratio "$s2w" "$m2w")" "$(ratio "$s2c" "$m2c")"
if [ -s "$work/perf.txt" ]; then
    echo
    echo "where the no-change re-sync spends its time (perf, self time):"
    cat "$work/perf.txt"
fi
