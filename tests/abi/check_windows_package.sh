#!/usr/bin/env bash
# The Windows release archive: builds it with cpack, checks what it holds,
# then runs callers made from its contents alone under Wine, against a
# reference server running natively: a program for Microsoft's ABI linked
# through Zorvat.lib by lld-link and the C example linked through
# libzorvat.dll.a by MinGW, both found with find_package(Zorvat), and the
# client program.
# Usage: check_windows_package.sh CPACK BUILD_DIR WORK_DIR VERSION SERVER
set -euo pipefail
cpack=$1 build=$2 work=$3 version=$4 server=$5
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
fail() { echo "FAILED: $*" >&2; exit 1; }
run() { "$@" >"$work/step.log" 2>&1 || { cat "$work/step.log"; fail "$*"; }; }
# shellcheck source=SCRIPTDIR/../support/reference_server.sh
source "$here/../support/reference_server.sh"
rm -rf "$work"
mkdir -p "$work/msvc"

run "$cpack" -G ZIP -B "$work" --config "$build/CPackConfig.cmake"
root=$work/root
mkdir "$root"
(cd "$root" && cmake -E tar xf "$work/zorvat-$version-win64.zip")
for file in bin/Zorvat.dll bin/zorvat-cli.exe include/zorvat.h lib/Zorvat.lib lib/libzorvat.dll.a \
  lib/Zorvat.def lib/cmake/Zorvat/ZorvatConfig.cmake README.md LICENSE CHANGELOG.md; do
  [ -f "$root/$file" ] || fail "$file is not in the archive"
done
grep -qx 'prefix=${pcfiledir}/../..' "$root/lib/pkgconfig/zorvat.pc" || fail "zorvat.pc names a fixed prefix"
export WINEPATH="$root/bin"
start_reference_server "$server" "$work/server.log"

# Microsoft's ABI, through the package's CMake files and Zorvat.lib, with no
# C runtime: kernel32's two functions come through an import library of their own.
printf 'LIBRARY kernel32.dll\nEXPORTS\n%s\n' GetCommandLineA ExitProcess >"$work/msvc/kernel32.def"
run llvm-dlltool -m i386:x86-64 -d "$work/msvc/kernel32.def" -l "$work/msvc/kernel32.lib"
run cmake -S "$here/windows_consumer" -B "$work/msvc/build" -G Ninja -DZorvat_DIR="$root/lib/cmake/Zorvat" \
  -DCONSUMER_SOURCE="$here/msvc_abi_consumer.c" \
  -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_C_COMPILER=clang -DCMAKE_C_COMPILER_TARGET=x86_64-pc-windows-msvc \
  -DCMAKE_TRY_COMPILE_TARGET_TYPE=STATIC_LIBRARY -DCMAKE_C_FLAGS=-ffreestanding \
  -DCMAKE_C_STANDARD_LIBRARIES= -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld-link \
  -DKERNEL32_LIBRARY="$work/msvc/kernel32.lib"
run cmake --build "$work/msvc/build" -v
grep -q "lib/Zorvat.lib" "$work/step.log" || fail "the MSVC caller was not linked through Zorvat.lib"
run wine "$work/msvc/build/consumer.exe" 127.0.0.1 "$port"

# The client program, from login to logout with its session file.
for command in "login --host 127.0.0.1 --port $port" "run --op 2 --args cli" logout; do
  # shellcheck disable=SC2086 # the options are meant to split
  (cd "$work" && run wine "$root/bin/zorvat-cli.exe" $command)
done

# MinGW, through the package's CMake files and libzorvat.dll.a: the C example.
run cmake -S "$here/windows_consumer" -B "$work/mingw" -G Ninja -DZorvat_DIR="$root/lib/cmake/Zorvat" \
  -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/toolchains/mingw-w64-x86_64.cmake" \
  -DCONSUMER_SOURCE="$source_dir/examples/operations_tour.c"
run cmake --build "$work/mingw"
run wine "$work/mingw/consumer.exe" 127.0.0.1 "$port"
echo "archive zorvat-$version-win64.zip: contents and callers ok"
