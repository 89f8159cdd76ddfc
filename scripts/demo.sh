#!/usr/bin/env bash
# The main job: builds the library and runs the records tour.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/ensure-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target zorvat_records_tour >/dev/null
./build/examples/zorvat_records_tour
