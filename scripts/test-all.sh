#!/usr/bin/env bash
# Builds and runs the whole test suite twice: once as it ships, once under
# AddressSanitizer and UndefinedBehaviorSanitizer; the .NET binding's tests
# under Mono against the first build; then Zorvat.dll and its
# tests under Wine; then the reliability suites (ThreadSanitizer, valgrind's
# memcheck, a short run of each fuzz target). Warnings are errors.
# Usage: scripts/test-all.sh   (build trees go to build/, build-asan/,
# build-windows/, build-tsan/ and build-fuzz/)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/ensure-deps.sh

jobs=$(nproc)
run_suite() {
  local dir=$1; shift
  echo "==> $dir: configure, build, test"
  cmake -S . -B "$dir" -G Ninja -DZORVAT_WERROR=ON "$@"
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure
}

run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "==> bindings/dotnet: build with Mono, test"
ZORVAT_BUILD_DIR=build bindings/dotnet/test.sh
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DZORVAT_SANITIZE=address,undefined
scripts/test-windows.sh
scripts/test-reliability.sh
echo "==> all tests passed"
