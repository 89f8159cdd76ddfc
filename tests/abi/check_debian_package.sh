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
server_pid=""
trap '[ -z "$server_pid" ] || kill "$server_pid" 2>/dev/null || true' EXIT

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

run() { env -u LD_LIBRARY_PATH "$@"; }
[ "$(run "$usr/bin/zorvat-cli" --version)" = "zorvat-cli $version" ] || fail "cli --version"
run "$usr/bin/zorvat-server" --help | grep -q -- '--port' || fail "server --help"
run "$usr/bin/zorvat-server" --host 127.0.0.1 --port 0 >"$work/server.out" 2>/dev/null &
server_pid=$!
port=""
for _ in $(seq 100); do
  port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/server.out")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || fail "the packaged server printed no port"
out=$(run "$usr/bin/zorvat-cli" direct --host 127.0.0.1 --port "$port" --op 2 --args packaged)
grep -q 'ARGUMENTS *packaged' <<<"$out" || fail "exchange between the packaged programs: $out"
echo "Debian package: ok ($(basename "$deb"))"
