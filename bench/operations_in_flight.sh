#!/usr/bin/env bash
# Operations in flight at once on one thread, from C (one poll) and from
# zorvat.aio, against zorvat-server holding each answer back 100 ms. Each
# count gets fresh servers, so that the connections of one run (in TIME_WAIT
# afterwards) do not use up the loopback ports of the next.
# Usage: bench/operations_in_flight.sh BUILD [COUNT...]   (default: 100 1000 10000)
# BUILD is a Release build configured with -DZORVAT_BUILD_BENCH=ON, with the
# targets zorvat, zorvat-server and zorvat_operations_in_flight built.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
shift
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(100 1000 10000)
blocking=30 # blocking calls, one after another, for the CPU they cost

ulimit -n "$(ulimit -Hn)"
# shellcheck source=../tests/support/reference_server.sh
source "$source_dir/tests/support/reference_server.sh"
server=$build/tools/server/zorvat-server
limits=(--max-connections 10000)
if "$server" --help | grep -q -- --max-connections-per-address; then
  limits+=(--max-connections-per-address 0)
fi
export ZORVAT_LIBRARY=$build/src/libzorvat.so PYTHONPATH=$source_dir/bindings/python

for count in "${counts[@]}"; do
  start_reference_server "$server" /dev/null --fault response:delay=100 "${limits[@]}"
  "$build/bench/zorvat_operations_in_flight" 127.0.0.1 "$port" "$count" "$blocking"
  "$build/bench/zorvat_operations_in_flight" 127.0.0.1 "$port" "$count" 0 --ticker
  delayed=$port
  start_reference_server "$server" /dev/null --fault response:delay=600000 "${limits[@]}"
  extra=(--cancel "$port")
  [ "$count" != "${counts[0]}" ] || extra+=(--poll-hold)
  python3 "$source_dir/bench/operations_in_flight.py" "$delayed" "$count" "$blocking" "${extra[@]}"
  stop_reference_servers
  server_pids=()
done
