#!/usr/bin/env bash
# Runs the commands of the README's "Getting started" section exactly as they are written,
# for a new account whose mail is in ~/Maildir, and checks what they did.
# usage: readme_getting_started.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$1 build=$2
work=$(mktemp -d /tmp/readme_start_XXXXXX)
trap 'rm -rf "$work"' EXIT
# A fresh account: only HOME, nothing of this system's variables.
for v in $(env | sed -n 's/^\(TETHER_[A-Z_]*\|XDG_[A-Z_]*\)=.*/\1/p'); do unset "$v"; done
export HOME=$work/home
mkdir -p "$HOME/Maildir/cur" "$HOME/Maildir/new" "$HOME/Maildir/tmp" "$work/clone"
cat > "$HOME/Maildir/new/1796720400.start1.host" <<'MAIL'
From: Ann Lee <ann.lee@example.org>
To: Jane Doe <jane@example.org>
Subject: Welcome to your own inbox
Date: Tue, 08 Dec 2026 09:00:00 +0000
Message-ID: <start1@example.org>
Content-Type: text/plain; charset=us-ascii

The first message of a real sync.
MAIL
# The commands run in the clone's folder, whose build/ is the build under test.
ln -s "$build" "$work/clone/build"

# The fenced sh blocks between "## Getting started" and the next section.
awk '/^## Getting started/ { on = 1; next }
     /^## / { on = 0 }
     on && /^```sh$/ { block = 1; next }
     on && /^```$/ { block = 0; next }
     on && block' "$src/README.md" > "$work/commands.sh"
[ -s "$work/commands.sh" ] || { echo "no commands found in the README"; exit 1; }
echo "== the README's commands:"; cat "$work/commands.sh"
echo "== their output:"
(cd "$work/clone" && bash -euo pipefail "$work/commands.sh") > "$work/out.txt" 2>&1 || {
  cat "$work/out.txt"; echo "FAILED: a README command failed"; exit 1; }
cat "$work/out.txt"

fail() { echo "FAILED: $*"; exit 1; }
grep -q "sync: done" "$work/out.txt" || fail "no sync ended well"
grep -q "Welcome to your own inbox" "$work/out.txt" || fail "the Maildir's mail is not on the handheld"
ls "$HOME/Maildir/.Sent/cur" | grep -q . || fail "the handheld's mail was not sent"
grep -rq "Subject: Hello" "$HOME/Maildir/.Sent/cur" || fail "the sent mail is not the one written"
grep -qP '^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\t20\tMail$' "$work/out.txt" || fail "no sync log shown"
# The undo commands removed the user, the profile and the image, and kept the Maildir.
[ ! -e "$HOME/.local/share/tethermail/handheld.img" ] || fail "the image is still there"
grep -q "Home" "$HOME/.config/tethermail/mapi/profiles.ini" && fail "the profile is still there"
[ -e "$HOME/Maildir/cur" ] || fail "the Maildir was touched"
(cd "$work/clone" && PATH="$PWD/build/bin:$PATH" tethersync user list) | grep -q "no desktop users" ||
  fail "the user is still there"
echo "the README's Getting started works"
