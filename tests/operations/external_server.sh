#!/usr/bin/env bash
# Starts and stops a reference server in a process of its own, for test
# programs that cannot run one themselves (the Windows programs under Wine).
# ctest runs "start" before those tests and "stop" after them.
#
#   external_server.sh start SERVER PORTS_FILE   writes "PORT CONTROL_PORT PID"
#   external_server.sh stop PORTS_FILE
set -euo pipefail

stop() {
  local ports=$1
  [ -f "$ports" ] || return 0
  local pid
  pid=$(awk '{print $3}' "$ports")
  if [ -n "$pid" ] && kill "$pid" 2>/dev/null; then
    for _ in $(seq 100); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
  fi
  rm -f "$ports"
}

start() {
  local server=$1 ports=$2
  stop "$ports"
  local output="$ports.out"
  # Detached from ctest's pipes, so that ctest does not wait for it; the
  # time limit ends a server whose stop never came.
  timeout 3600 "$server" --port 0 --control-port 0 >"$output" 2>"$ports.err" </dev/null &
  local pid=$!
  for _ in $(seq 200); do
    grep -q '^control on ' "$output" 2>/dev/null && break
    if ! kill -0 "$pid" 2>/dev/null; then
      echo "zorvat-server ended at once:" >&2
      cat "$ports.err" >&2
      exit 1
    fi
    sleep 0.05
  done
  local port control
  port=$(sed -n 's/^listening on .*:\([0-9][0-9]*\)$/\1/p' "$output")
  control=$(sed -n 's/^control on 127\.0\.0\.1:\([0-9][0-9]*\)$/\1/p' "$output")
  if [ -z "$port" ] || [ -z "$control" ]; then
    echo "zorvat-server did not report its ports:" >&2
    cat "$output" "$ports.err" >&2
    kill "$pid" 2>/dev/null || true
    exit 1
  fi
  echo "$port $control $pid" >"$ports.tmp"
  mv "$ports.tmp" "$ports"
  echo "reference server on 127.0.0.1:$port, control port $control (pid $pid)"
}

case "${1:-}" in
  start) start "$2" "$3" ;;
  stop) stop "$2" ;;
  *) echo "usage: $0 start SERVER PORTS_FILE | stop PORTS_FILE" >&2; exit 2 ;;
esac
