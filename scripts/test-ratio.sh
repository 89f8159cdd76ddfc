#!/usr/bin/env bash
# Prints the lines of tests against the lines of code, as tracked by git, and
# fails when tests grow past LIMIT (default 0.40) of the code. Tests are
# tests/, bindings/python/tests and bindings/dotnet/tests; code is src/,
# include/, tools/ and the rest of bindings/python and bindings/dotnet.
# fuzz/ and bench/ count as neither.
# Usage: scripts/test-ratio.sh [LIMIT]
set -euo pipefail
cd "$(dirname "$0")/.."
limit=${1:-0.40}
lines() { git ls-files -z -- "$@" | xargs -0 cat | wc -l; }
tests=$(lines tests bindings/python/tests bindings/dotnet/tests)
code=$(lines src include tools bindings/python ':!bindings/python/tests' \
  bindings/dotnet ':!bindings/dotnet/tests')
awk -v t="$tests" -v c="$code" -v limit="$limit" 'BEGIN {
  ratio = t / c
  printf "tests %d lines, code %d lines: %.3f (limit %.2f)\n", t, c, ratio, limit
  exit ratio > limit ? 1 : 0
}'
