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
            lib/cmake/Zorvat/ZorvatConfig.cmake share/man/man1/zorvat-cli.1 \
            share/man/man1/zorvat-server.1; do
  [ -e "$usr/$file" ] || fail "$file is not in the package"
done
grep -qF 'credential\-itemN\-file' "$usr/share/man/man1/zorvat-cli.1" || fail "cli man page"

# Nothing tells the programs where the library is.
unset LD_LIBRARY_PATH
[ "$("$usr/bin/zorvat-cli" --version)" = "zorvat-cli $version" ] || fail "cli --version"
"$usr/bin/zorvat-server" --help | grep -q -- '--port' || fail "server --help"
start_reference_server "$usr/bin/zorvat-server" /dev/null
out=$("$usr/bin/zorvat-cli" direct --host 127.0.0.1 --port "$port" --op 2 --args packaged)
grep -q 'ARGUMENTS *packaged' <<<"$out" || fail "exchange between the packaged programs: $out"
echo "Debian package: ok ($(basename "$deb"))"
