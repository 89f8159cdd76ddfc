#!/usr/bin/env bash
# Starts and stops a reference server in a process of its own, for test
# programs that cannot run one themselves (the Windows programs under Wine).
# ctest runs "start" before those tests and "stop" after them.
#
#   external_server.sh start SERVER PORTS_FILE   writes "PORT CONTROL_PORT PID"
#   external_server.sh stop PORTS_FILE
set -euo pipefail
# shellcheck source=SCRIPTDIR/reference_server.sh
source "$(dirname "$0")/reference_server.sh"

ports=${!#}
[ ! -f "$ports" ] || kill "$(awk '{print $3}' "$ports")" 2>/dev/null || true
rm -f "$ports"
case "${1:-}" in
  start)
    start_reference_server "$2" "$ports.err" --control-port 0 || { cat "$ports.err" >&2; exit 1; }
    echo "$port $control ${server_pids[0]}" >"$ports"
    trap - EXIT # the server serves the tests until "stop"
    echo "reference server on 127.0.0.1:$port, control port $control (pid ${server_pids[0]})" ;;
  stop) ;;
  *) echo "usage: $0 start SERVER PORTS_FILE | stop PORTS_FILE" >&2; exit 2 ;;
esac
