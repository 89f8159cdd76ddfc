#!/usr/bin/env bash
# Fails when a C or C++ file differs from the style .clang-format fixes.
# With --fix, reformats them instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=(--dry-run --Werror)
[ "${1:-}" = "--fix" ] && mode=(-i)
git ls-files -z --cached --others --exclude-standard -- '*.c' '*.h' '*.cpp' '*.hpp' |
  xargs -0 -r clang-format "${mode[@]}"
