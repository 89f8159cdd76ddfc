# shellcheck shell=bash
# Sourced by the test scripts that run zorvat-server as a program.
#   start_reference_server PROGRAM LOG [server options...]
# starts it on an ephemeral loopback port with its standard error in LOG and
# sets port (and control, given --control-port 0); stop_reference_servers (the
# EXIT trap set here) ends every one.
server_pids=()
stop_reference_servers() {
  [ ${#server_pids[@]} -eq 0 ] || kill "${server_pids[@]}" 2>/dev/null || true
}
trap stop_reference_servers EXIT

start_reference_server() {
  local program=$1 log=$2 out last=listening
  shift 2
  [[ " $* " != *" --control-port "* ]] || last=control
  out=$(mktemp)
  "$program" --host 127.0.0.1 --port 0 "$@" >"$out" 2>"$log" </dev/null &
  server_pids+=($!)
  for _ in $(seq 100); do
    grep -q "^$last on " "$out" && break
    sleep 0.1
  done
  port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$out")
  control=$(sed -n 's/^control on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$out")
  rm -f "$out"
  [ -n "$port" ] || { echo "FAILED: $program printed no port" >&2; return 1; }
  [ "$last" = listening ] || [ -n "$control" ] || {
    echo "FAILED: $program printed no control port" >&2
    return 1
  }
}
