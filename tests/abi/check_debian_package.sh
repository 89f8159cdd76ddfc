#!/usr/bin/env bash
# Builds the .deb from the build folder, unpacks it into a scratch root (the
# system itself is not touched) and runs the two programs from there: their
# help, their version and a real exchange between them, with nothing telling
# them where the library is.
# Usage: check_debian_package.sh CPACK BUILD_DIR WORK_DIR VERSION
set -euo pipefail
cpack=$1
build=$2
work=$3
version=$4
rm -rf "$work"
mkdir -p "$work"
fail() { echo "FAILED: $*" >&2; exit 1; }
# shellcheck source=SCRIPTDIR/../support/reference_server.sh
source "$(dirname "$0")/../support/reference_server.sh"

"$cpack" -G DEB -B "$work" --config "$build/CPackConfig.cmake" >"$work/cpack.log" ||
  { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/zorvat_"$version"_*.deb)
dpkg-deb -f "$deb" Depends | grep -q 'libssl3' || fail "no libssl3 in Depends"
dpkg-deb -x "$deb" "$work/root"
usr="$work/root/usr"
for file in include/zorvat.h lib/libzorvat.so.1 lib/pkgconfig/zorvat.pc \
            lib/cmake/Zorvat/ZorvatConfig.cmake share/man/man1/zorvat-cli.1.gz \
            share/man/man1/zorvat-server.1.gz share/man/man3/zorvat.3.gz \
            share/doc/zorvat/copyright share/doc/zorvat/changelog.gz; do
  [ -e "$usr/$file" ] || fail "$file is not in the package"
done
zgrep -qF 'credential\-itemN\-file' "$usr/share/man/man1/zorvat-cli.1.gz" || fail "cli man page"
# Every page renders without a complaint from the formatter.
for page in "$usr"/share/man/man*/*.gz; do
  complaints=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) || fail "man -l $page"
  [ -z "$complaints" ] || fail "man -l $page: $complaints"
done
# pkg-config names /usr itself, which it leaves out as a system folder.
cflags=$(PKG_CONFIG_PATH="$usr/lib/pkgconfig" pkg-config --cflags zorvat)
[[ "$cflags" =~ ^(-I/usr/include)?\ *$ ]] || fail "pkg-config --cflags zorvat: $cflags"
if command -v lintian >/dev/null; then
  lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || true
  ! grep '^E: ' "$work/lintian.log" || fail "lintian reports errors"
fi

# Nothing tells the programs where the library is.
unset LD_LIBRARY_PATH
[ "$("$usr/bin/zorvat-cli" --version)" = "zorvat-cli $version" ] || fail "cli --version"
"$usr/bin/zorvat-server" --help | grep -q -- '--port' || fail "server --help"
start_reference_server "$usr/bin/zorvat-server" /dev/null
out=$("$usr/bin/zorvat-cli" direct --host 127.0.0.1 --port "$port" --op 2 --args packaged)
grep -q 'ARGUMENTS *packaged' <<<"$out" || fail "exchange between the packaged programs: $out"
echo "Debian package: ok ($(basename "$deb"))"
