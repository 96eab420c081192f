#!/usr/bin/env bash
# cmake --install into an empty folder: the layout, sonames, the headers, the table file
# found by default, man pages, and a tiny outside C program built against the installed
# tree with pkg-config and with CMake's find_package. Then the demo from the installed
# programs.
# usage: install_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$1 build=$2
here=$src/tests/install
work=$(mktemp -d /tmp/install_test_XXXXXX)
trap 'rm -rf "$work"' EXIT
root=$work/root
fail() { echo "FAILED: $*"; exit 1; }

cmake --install "$build" --prefix "$root" >/dev/null
for f in bin/tethersync bin/glossel bin/chronel bin/jconv bin/cctb \
         include/glossel/glossel.h include/chronel/chronel.h include/torrim/torrim.h \
         share/CCINTL.TB lib/pkgconfig/glossel.pc lib/pkgconfig/chronel.pc \
         lib/cmake/glossel/glosselConfig.cmake lib/cmake/chronel/chronelConfigVersion.cmake \
         share/man/man1/tethersync.1 share/man/man1/glossel.1 share/man/man1/chronel.1 \
         share/man/man1/jconv.1 share/man/man3/libglossel.3 share/man/man3/libchronel.3 \
         share/man/man3/libtorrim.3; do
  [ -e "$root/$f" ] || fail "$f is not installed"
done
# The libraries for other programs: versioned file, soname link, plain name.
for lib in glossel chronel torrim; do
  [ -f "$root/lib/lib$lib.so.0.1.0" ] || fail "lib$lib.so.0.1.0 missing"
  [ "$(readlink "$root/lib/lib$lib.so.0")" = "lib$lib.so.0.1.0" ] || fail "lib$lib.so.0 link"
  [ -L "$root/lib/lib$lib.so" ] || fail "lib$lib.so link"
  readelf -d "$root/lib/lib$lib.so.0.1.0" | grep -q "SONAME.*\[lib$lib.so.0\]" ||
    fail "lib$lib has no soname lib$lib.so.0"
done
# The libraries the host loads by name, under their plain names.
for lib in mapi32 kernel32 thunkmap syncor tetherlog profstore tamarackcmn intlkit condreg \
           rescat filekit; do
  [ -f "$root/lib/lib$lib.so" ] || fail "lib$lib.so is not installed"
done
# Run paths lead to the installed lib/, never into the build.
for f in "$root"/bin/* "$root"/lib/*.so; do
  if readelf -d "$f" | grep -E "RUNPATH|RPATH" | grep -qF "$build"; then
    fail "the run path of $f names the build"
  fi
done
for page in "$root"/share/man/man*/*; do
  out=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) || fail "man -l $page"
  [ -z "$out" ] || fail "man -l $page: $out"
done

# glossel finds the installed table file without being told.
printf 'caf\xc3\xa9' | env -u GLOSSEL_TABLES "$root/bin/glossel" translate --from utf-8 --to 1252 \
  > "$work/cafe.1252"
[ "$(od -An -tx1 "$work/cafe.1252" | tr -d ' \n')" = "636166e9" ] || fail "glossel translate"

# An outside program through pkg-config ...
export TETHER_PLATFORM_HOME=$work/platform LC_ALL=C
export PKG_CONFIG_PATH=$root/lib/pkgconfig
tables=$(pkg-config --variable=tablesdir glossel)
# shellcheck disable=SC2046
cc -Wall -Wextra -Werror -o "$work/outside" "$here/outside.c" \
   $(pkg-config --cflags --libs glossel chronel) -Wl,-rpath,"$root/lib"
"$work/outside" "$tables" > "$work/pc.txt"
cat "$work/pc.txt"
grep -qx "translate: 0, 63 00 61 00 66 00 e9 00" "$work/pc.txt" || fail "pkg-config program"
grep -q "^date: .*7" "$work/pc.txt" || fail "pkg-config program's date"
ldd "$work/outside" | grep -q "libglossel.so.0 => $root/lib/" || fail "not linked to the install"

# ... and through CMake's find_package.
mkdir -p "$work/project"
cp "$here/outside.c" "$work/project/"
cp "$here/CMakeLists.txt.outside" "$work/project/CMakeLists.txt"
cmake -S "$work/project" -B "$work/project/build" -DCMAKE_PREFIX_PATH="$root" \
      -DCMAKE_BUILD_RPATH="$root/lib" >/dev/null
cmake --build "$work/project/build" >/dev/null
"$work/project/build/outside" "$(cat "$work/project/build/tables_dir.txt")" > "$work/cmake.txt"
diff "$work/pc.txt" "$work/cmake.txt" || fail "find_package program differs"

# The demo from the installed programs.
(cd "$work" && "$root/bin/tethersync" demo) > "$work/demo.txt" 2>&1 || {
  cat "$work/demo.txt"; fail "tethersync demo from the install"; }
grep -q "conduit: Mail returned 0" "$work/demo.txt" || fail "the demo did not run the mail conduit"
echo "the installed tree works"
