#!/usr/bin/env bash
# Builds Zorvat.dll and zorvat-cli.exe for 64-bit Windows with the MinGW-w64
# cross toolchain and runs their tests under Wine, against a reference server
# running natively on the loopback interface, then makes the release archive
# build-windows/package/zorvat-VERSION-win64.zip (the tests check one made the
# same way). Installs the toolchain, Wine and LLVM's linker tools (Zorvat.lib,
# and a program linked as Microsoft's toolchain would) when missing.
# Usage: scripts/test-windows.sh   (build tree and Wine prefix: build-windows/)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/ensure-deps.sh g++-mingw-w64-x86-64-posix wine wine64 googletest llvm lld

# The presets run Wine in this prefix; making it once here, quietly, keeps
# its first-run set-up out of the tests.
export WINEPREFIX="$PWD/build-windows/wine-prefix" WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "==> Wine prefix: $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  if ! wineboot -i >"$PWD/build-windows/wineboot.log" 2>&1; then
    cat "$PWD/build-windows/wineboot.log" >&2
    exit 1
  fi
fi

echo "==> build-windows: configure, build, test"
cmake --preset windows
cmake --build --preset windows
ctest --preset windows
echo "==> the release archive"
cpack --preset windows
