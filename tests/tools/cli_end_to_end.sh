#!/usr/bin/env bash
# zorvat-cli against zorvat-server: a session from login to logout, the exit
# statuses, and failures on stderr.
set -euo pipefail
server=$1
cli=$2
work=$(mktemp -d)
"$server" --host 127.0.0.1 --port 0 >"$work/out" 2>/dev/null &
pid=$!
trap 'kill $pid 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do
  port=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$work/out")
  [ -n "$port" ] && break
  sleep 0.1
done
fail() { echo "FAILED: $*" >&2; exit 1; }
expect_in() { grep -qF -- "$1" <<<"$2" || fail "expected '$1' in: $2"; }

out=$("$cli" direct --host 127.0.0.1 --port "$port" --op 2 --args 'A\AB' --output-format 3)
expect_in 'ARGUMENTS = A\AB\SJSON' "$out"

session="$work/s"
"$cli" login --host 127.0.0.1 --port "$port" --credential-item3 me --session-file "$session" >/dev/null
[ "$(stat -c %a "$session")" = 600 ] || fail "session file mode"
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
"$cli" direct --help | grep -q -- '--output-format' || fail "help"
set -e
echo "cli end to end: ok"
