#!/usr/bin/env bash
# The Debian package: built with CPack from the build, its dependencies are installed
# Debian packages, dpkg installs it into a fresh root, the demo runs from the installed
# files, and dpkg removes it leaving nothing behind.
# usage: package_test.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d /tmp/package_test_XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }

cpack -G DEB -B "$work/out" --config "$build/CPackConfig.cmake" > "$work/cpack.txt" 2>&1 || {
  cat "$work/cpack.txt"; fail "cpack"; }
deb=$(ls "$work"/out/tethermail_*.deb)
dpkg-deb -f "$deb" Package Version Depends
# Every dependency is a Debian package, and this machine has it.
depends=$(dpkg-deb -f "$deb" Depends)
for name in $(tr ',' '\n' <<<"$depends" | sed 's/(.*)//; s/|.*//' | tr -d ' '); do
  dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q "install ok installed" ||
    fail "the dependency $name is not an installed Debian package"
done
for want in libsqlite3 libgmime-3.0 libcurl libicu; do
  grep -q "$want" <<<"$depends" || fail "no dependency on $want"
done

# A fresh root with an empty package database. The maintainer scripts run outside a
# chroot (the root has no shell); its ldconfig is a stand-in, the root holds no cache.
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$work/tools"
: > "$root/var/lib/dpkg/status"
printf '#!/bin/sh\nexit 0\n' > "$work/tools/ldconfig"
chmod +x "$work/tools/ldconfig"
dpkg_root() {
  PATH="$work/tools:$PATH" dpkg --root="$root" --log=/dev/null --force-not-root \
    --force-script-chrootless "$@"
}
dpkg_root --force-depends -i "$deb" > "$work/dpkg.txt" 2>&1 || { cat "$work/dpkg.txt"; fail "dpkg -i"; }
[ -x "$root/usr/bin/tethersync" ] || fail "no /usr/bin/tethersync in the root"
for f in share/CCINTL.TB lib/libtorrim.so lib/libmapi32.so lib/librescat.so lib/libglossel.so.0 \
         share/man/man1/tethersync.1 include/glossel/glossel.h lib/pkgconfig/glossel.pc; do
  [ -e "$root/usr/$f" ] || fail "no /usr/$f in the root"
done

(cd "$work" && "$root/usr/bin/tethersync" demo) > "$work/demo.txt" 2>&1 || {
  cat "$work/demo.txt"; fail "tethersync demo from the package"; }
grep -q "conduit: Mail returned 0" "$work/demo.txt" || fail "the demo did not run the mail conduit"
"$root/usr/bin/glossel" translate --from 1252 --to utf-8 <<<"ok" | grep -qx ok || fail "glossel"

dpkg_root --purge tethermail > "$work/dpkg.txt" 2>&1 || { cat "$work/dpkg.txt"; fail "dpkg --purge"; }
left=$(cd "$root" && find . -path ./var -prune -o -print | grep -v '^\.$' || true)
[ -z "$left" ] || fail "left after removal: $left"
echo "the package installs, runs the demo and goes again"
