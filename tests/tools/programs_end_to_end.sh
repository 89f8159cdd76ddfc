#!/usr/bin/env bash
# zorvat-server and zorvat-cli as programs: the server's command line, and
# the client against it from login to logout, its session file, exit
# statuses and failures on stderr.
set -euo pipefail
server=$1
cli=$2
version=$3
work=$(mktemp -d)
"$server" --host 127.0.0.1 --port 0 >"$work/out" 2>/dev/null &
pid=$!
trap 'kill $pid 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do
  port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/out")
  [ -n "$port" ] && break
  sleep 0.1
done
fail() { echo "FAILED: $*" >&2; exit 1; }
expect_in() { grep -qF -- "$1" <<<"$2" || fail "expected '$1' in: $2"; }
[ -n "$port" ] || fail "the server printed no port"

grep -q -- '--fault' <<<"$("$server" --help)" || fail "server help"
grep -q '^zorvat-server [0-9]*\.[0-9]*\.[0-9]*$' <<<"$("$server" --version)" || fail "server version"
for options in --no-such-option "--fault response:no-such-fault" "--port 65536" \
  "--memory-limit 12X" "--idle-timeout 0"; do
  status=0
  # shellcheck disable=SC2086 # the options are meant to split
  "$server" $options >/dev/null 2>&1 || status=$?
  [ $status -eq 2 ] || fail "server $options: status $status"
done

out=$("$cli" direct --host 127.0.0.1 --port "$port" --op 2 --args 'A\AB' --output-format 3)
expect_in 'ARGUMENTS = A\AB\SJSON' "$out"

# The session file is for its owner alone, also when a new login replaces it.
session="$work/s"
for _ in 1 2; do
  "$cli" login --host 127.0.0.1 --port "$port" --credential-item3 me --session-file "$session" >/dev/null
  [ "$(stat -c %a "$session")" = 600 ] || fail "session file mode"
done
out=$("$cli" run --session-file "$session" --op 20 --args 'Zoë €' --json)
expect_in '"ok": true' "$out"
expect_in 'Zoë €' "$out"
"$cli" logout --session-file "$session" >/dev/null
[ ! -e "$session" ] || fail "session file left after logout"

set +e
err=$("$cli" run --session-file "$session" --op 20 2>&1 >/dev/null); status=$?
[ $status -eq 1 ] || fail "missing session file: status $status"
expect_in 'log in first' "$err"
err=$("$cli" direct --host 127.0.0.1 --port 1 --op 2 2>&1 >/dev/null); status=$?
[ $status -eq 1 ] || fail "refused connection: status $status"
expect_in 'C104: Unable to connect to server!' "$err"
"$cli" direct --host 127.0.0.1 --port 70000 --op 2 2>/dev/null; status=$?
[ $status -eq 2 ] || fail "bad port: status $status"
"$cli" run --op 2 --args 'x\q' 2>/dev/null; status=$?
[ $status -eq 2 ] || fail "bad escape: status $status"
[ "$("$cli" --version)" = "zorvat-cli $version" ] || fail "cli --version"
"$cli" direct --help | grep -q -- '--output-format' || fail "help"

kill -TERM $pid
wait $pid; status=$?
[ $status -eq 0 ] || fail "server stopped by SIGTERM: status $status"
set -e
echo "programs end to end: ok"
