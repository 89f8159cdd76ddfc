#!/usr/bin/env bash
# The Windows release archive: builds it with cpack, checks what it holds,
# then runs callers made from its contents alone under Wine, against a
# reference server running natively: a program for Microsoft's ABI linked
# through Zorvat.lib by lld-link and a MinGW program linked through
# libzorvat.dll.a, both found with find_package(Zorvat), the C example linked
# by MinGW by hand, and the client program.
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
mkdir -p "$work/msvc" "$work/mingw"

run "$cpack" -G ZIP -B "$work" --config "$build/CPackConfig.cmake"
root=$work/root
mkdir "$root"
(cd "$root" && cmake -E tar xf "$work/zorvat-$version-win64.zip")
for file in bin/Zorvat.dll bin/zorvat-cli.exe include/zorvat.h lib/Zorvat.lib lib/libzorvat.dll.a \
  lib/Zorvat.def lib/cmake/Zorvat/ZorvatConfig.cmake README.md LICENSE CHANGELOG.md; do
  [ -f "$root/$file" ] || fail "$file is not in the archive"
done
export WINEPATH="$root/bin"
start_reference_server "$server" "$work/server.log"

# Microsoft's ABI, through the package's CMake files: kernel32's four
# functions through an import library of their own, Zorvat's through
# Zorvat.lib, no C runtime.
printf 'LIBRARY kernel32.dll\nEXPORTS\n%s\n' GetStdHandle WriteFile GetCommandLineA ExitProcess \
  >"$work/msvc/kernel32.def"
run llvm-dlltool -m i386:x86-64 -d "$work/msvc/kernel32.def" -l "$work/msvc/kernel32.lib"
run cmake -S "$here/msvc_consumer" -B "$work/msvc/build" -G Ninja -DZorvat_DIR="$root/lib/cmake/Zorvat" \
  -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_C_COMPILER=clang -DCMAKE_C_COMPILER_TARGET=x86_64-pc-windows-msvc \
  -DCMAKE_TRY_COMPILE_TARGET_TYPE=STATIC_LIBRARY -DCMAKE_C_FLAGS=-ffreestanding \
  -DCMAKE_C_STANDARD_LIBRARIES= -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld-link \
  -DKERNEL32_LIBRARY="$work/msvc/kernel32.lib"
run cmake --build "$work/msvc/build" -v
grep -q "lib/Zorvat.lib" "$work/step.log" || fail "the MSVC caller was not linked through Zorvat.lib"
wine "$work/msvc/build/consumer.exe" 127.0.0.1 "$port" || fail "the program linked through Zorvat.lib"

# MinGW: the C example through libzorvat.dll.a.
run x86_64-w64-mingw32-gcc-posix -std=c99 -I"$root/include" "$source_dir/examples/operations_tour.c" \
  -L"$root/lib" -lzorvat -o "$work/mingw/operations_tour.exe"
wine "$work/mingw/operations_tour.exe" 127.0.0.1 "$port" >"$work/mingw/tour.out" ||
  { cat "$work/mingw/tour.out"; fail "the example linked by MinGW"; }

# The client program, from login to logout with its session file.
for command in "login --host 127.0.0.1 --port $port" "run --op 2 --args cli" logout; do
  # shellcheck disable=SC2086 # the options are meant to split
  (cd "$work" && run wine "$root/bin/zorvat-cli.exe" $command) || fail "zorvat-cli.exe $command"
done

# CMake: the package's targets, as a MinGW project finds them.
run cmake -S "$here/consumer" -B "$work/cmake" -G Ninja -DZorvat_DIR="$root/lib/cmake/Zorvat" \
  -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/toolchains/mingw-w64-x86_64.cmake"
run cmake --build "$work/cmake"
wine "$work/cmake/consumer.exe" || fail "the project that found the package with CMake"
echo "archive zorvat-$version-win64.zip: contents and callers ok"
