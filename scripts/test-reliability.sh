#!/usr/bin/env bash
# The reliability suites, run after the normal ones:
#   1. the whole suite built with clang under ThreadSanitizer (build-tsan/);
#   2. every test program of the plain build (build/) under valgrind's
#      memcheck, leaks included; the 64-thread stress test with 16 operations
#      per thread, as valgrind runs threads one at a time (scripts/test-all.sh
#      runs it with 1,000 in the plain build, 100 under ASan's leak checker);
#      the C example against a server that serves it and one that refuses;
#   3. each libFuzzer target for a short smoke run on a copy of its corpus
#      (build-fuzz/; FUZZ_SECONDS each, default 60).
# Usage: scripts/test-reliability.sh   (after scripts/test-all.sh, or alone)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/ensure-deps.sh

jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-60}
clang_compilers=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
elapsed() { echo "    ($(( $(date +%s) - $1 )) s)"; }

started=$(date +%s)
echo "==> build-tsan: configure, build, test under ThreadSanitizer"
cmake -S . -B build-tsan -G Ninja -DZORVAT_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZORVAT_SANITIZE=thread "${clang_compilers[@]}"
cmake --build build-tsan -j "$jobs"
# Any report fails the test that raised it.
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan -j "$jobs" --output-on-failure
elapsed "$started"

started=$(date +%s)
echo "==> build: the test programs under valgrind memcheck"
cmake -S . -B build -G Ninja -DZORVAT_WERROR=ON
cmake --build build -j "$jobs"
memcheck=(valgrind -q --error-exitcode=99 --leak-check=full
          --errors-for-leak-kinds=definite,indirect --suppressions=scripts/valgrind.supp)
checked=0
while IFS= read -r program; do
  name=$(basename "$program")
  case "$name" in
    zorvat_replay_*) arguments=("fuzz/corpus/${name#zorvat_replay_}") ;;
    *) arguments=(--gtest_brief=1) ;;
  esac
  echo "    $name"
  ZVTEST_STRESS_OPERATIONS=16 "${memcheck[@]}" "$program" "${arguments[@]}" \
    >"build/$name.memcheck.log" 2>&1 ||
    { tail -n 80 "build/$name.memcheck.log"; exit 1; }
  checked=$((checked + 1))
done < <(find build/tests -type f -perm -u+x \( -name 'zorvat_*_tests' -o -name 'zorvat_replay_*' \) | sort)
[ "$checked" -gt 0 ] || { echo "no test program found under build/tests" >&2; exit 1; }
# The C example served, and refused with the server's text (exit status 1):
# its failure path releases every message too.
for fault in "" "response:error-flag=Record locked"; do
  echo "    zorvat_operations_tour ${fault:-served}"
  status=0 want=0
  [ -z "$fault" ] || want=1
  bash tests/support/with_reference_server.sh build/tools/server/zorvat-server \
    ${fault:+--fault "$fault"} -- "${memcheck[@]}" build/examples/zorvat_operations_tour \
    >build/zorvat_operations_tour.memcheck.log 2>&1 || status=$?
  [ $status -eq $want ] ||
    { tail -n 80 build/zorvat_operations_tour.memcheck.log; exit 1; }
  checked=$((checked + 1))
done
echo "    $checked programs clean under memcheck"
elapsed "$started"

started=$(date +%s)
echo "==> build-fuzz: libFuzzer targets, ${fuzz_seconds} s each"
cmake -S . -B build-fuzz -G Ninja -DZORVAT_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZORVAT_FUZZ=ON -DZORVAT_BUILD_TESTS=OFF -DZORVAT_BUILD_TOOLS=OFF \
  -DZORVAT_BUILD_EXAMPLES=OFF "${clang_compilers[@]}"
targets=$(sed -n '/set(ZORVAT_FUZZ_TARGETS/,/)/p' fuzz/targets.cmake | tr -d '()' | tail -n +2)
cmake --build build-fuzz -j "$jobs" --target $(printf 'fuzz_%s ' $targets)
for target in $targets; do
  work=$(mktemp -d)
  # New inputs go to the scratch folder; the committed corpus stays as it is.
  build-fuzz/fuzz/fuzz_"$target" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="build-fuzz/$target-" "$work" "fuzz/corpus/$target" \
    2>"build-fuzz/$target.log" || { tail -n 60 "build-fuzz/$target.log"; exit 1; }
  echo "    $target: $(grep -o 'stat::number_of_executed_units: [0-9]*' "build-fuzz/$target.log" |
                         grep -o '[0-9]*$') executions, no finding"
  rm -rf "$work"
done
elapsed "$started"
echo "==> reliability suites passed"
