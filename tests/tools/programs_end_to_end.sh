#!/usr/bin/env bash
# zorvat-server and zorvat-cli as programs: the server's command line, and
# the client against it from login to logout, its session file, where its
# secrets come from, what it refuses, exit statuses and failures on stderr.
set -euo pipefail
server=$1
cli=$2
work=$(mktemp -d)
# shellcheck source=SCRIPTDIR/../support/reference_server.sh
source "$(dirname "$0")/../support/reference_server.sh"
trap 'stop_reference_servers; rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }
expect_in() { grep -qF -- "$1" <<<"$2" || fail "expected '$1' in: $2"; }
# fails STATUS TEXT COMMAND...: the command ends with STATUS and says TEXT on stderr.
fails() {
  local want=$1 text=$2 status=0
  shift 2
  err=$("$@" 2>&1 >/dev/null) || status=$?
  [ $status -eq "$want" ] || fail "$*: status $status"
  expect_in "$text" "$err"
}
# A server whose error texts would set the window title and clear the screen.
start_reference_server "$server" "$work/hostile.log" --dump \
  --fault "response:error-flag=$(printf '\033]0;owned\007\033[2J\177\302\233')"
hostile_port=$port
start_reference_server "$server" "$work/main.log" --verbose
pid=${server_pids[-1]}
at=(--host 127.0.0.1 --port "$port")

grep -q -- '--fault' <<<"$("$server" --help)" || fail "server help"
for options in --no-such-option "--fault response:no-such-fault" "--fault response:delay" \
  "--port 65536" "--memory-limit 12X" "--idle-timeout 0"; do
  # shellcheck disable=SC2086 # the options are meant to split
  fails 2 "" "$server" $options
done
for options in "direct --host 127.0.0.1 --port 65536 --op 2" "run --op 2 --args x\q" \
  "run --op 2 --args abc\x00def" "run --op 2 --connect-timeout -1"; do
  # shellcheck disable=SC2086 # the options are meant to split
  fails 2 "" "$cli" $options
done

out=$("$cli" direct "${at[@]}" --op 2 --args 'A\AB' --output-format 3)
expect_in 'ARGUMENTS         A\AB\SJSON' "$out"

# Credential items from the environment and from a private file.
printf 'from a file\n' >"$work/secret"
chmod 600 "$work/secret"
out=$(ZORVAT_CREDENTIAL_ITEM3=env-user "$cli" direct "${at[@]}" --op 2 \
  --credential-item4-file "$work/secret")
expect_in 'CREDENTIAL_ITEM3  env-user' "$out"
expect_in 'CREDENTIAL_ITEM4  from a file' "$out"

# A prompt on the terminal, without echo: the secret shows once, in the answer.
out=$(python3 - "$cli" direct "${at[@]}" --op 2 --credential-item4-prompt <<'EOF'
import os, pty, sys
pid, terminal = pty.fork()
if pid == 0:
    os.execv(sys.argv[1], sys.argv[1:])
seen = b""
while b"credential item 4: " not in seen:
    seen += os.read(terminal, 1024)
os.write(terminal, b"typed secret\n")
try:
    while chunk := os.read(terminal, 4096):
        seen += chunk
except OSError:  # the program has ended
    pass
print(seen.decode())
EOF
)
expect_in 'CREDENTIAL_ITEM4  typed secret' "$out"
[ "$(grep -c 'typed secret' <<<"$out")" -eq 1 ] || fail "the prompt echoed: $out"

# The session file is for its owner alone, also when a new login replaces it,
# which takes --force.
session="$work/s"
for force in "" --force; do
  # shellcheck disable=SC2086 # an empty $force is no argument
  "$cli" login "${at[@]}" --credential-item3 me --session-file "$session" $force >/dev/null
  [ "$(stat -c %a "$session")" = 600 ] || fail "session file mode"
done
out=$("$cli" run --session-file "$session" --op 20 --args 'Zoë €' --json)
expect_in '"ok": true' "$out"
expect_in 'Zoë €' "$out"
cp -p "$session" "$work/stale"
"$cli" logout --session-file "$session" >/dev/null
[ ! -e "$session" ] || fail "session file left after logout"

fails 1 --force "$cli" login "${at[@]}" --session-file "$work/stale"
fails 1 'log in again' "$cli" run --session-file "$work/stale" --op 20

# Session files that someone else could have planted, swapped or read.
cp -p "$work/stale" "$work/open"
chmod 640 "$work/open"
ln -s "$work/stale" "$work/link"
head -c 70000 /dev/zero >"$work/big"
chmod 600 "$work/big"
planted=("$work/open:open to group" "$work/link:symbolic link" "$work/big:larger than 64 KiB"
         "/dev/zero:not a regular file" "$work:not a regular file")
if [ "$(id -u)" -eq 0 ]; then
  cp -p "$work/stale" "$work/foreign"
  chown 1:1 "$work/foreign"
  planted+=("$work/foreign:another user")
fi
for case in "${planted[@]}"; do
  for command in "run --op 20" logout; do
    # shellcheck disable=SC2086 # the command is meant to split
    fails 1 "${case#*:}" "$cli" $command --session-file "${case%%:*}"
  done
done
chmod 644 "$work/secret"
fails 1 'open to group' "$cli" direct "${at[@]}" --op 2 --credential-item4-file "$work/secret"

# A login whose session file cannot be written closes the session again.
logouts() { grep -c '^request op=8 ' "$work/main.log" || true; }
before=$(logouts)
fails 1 'logged out on the server' "$cli" login "${at[@]}" --session-file "$work/none/s"
for _ in $(seq 50); do [ "$(logouts)" -gt "$before" ] && break; sleep 0.1; done
[ "$(logouts)" -gt "$before" ] || fail "no logout after the failed write"

# Server texts reach the terminal, and the server's dump, escaped.
fails 1 "" "$cli" direct --host 127.0.0.1 --port "$hostile_port" --op 2
[ "$err" = 'zorvat-cli: \x1B]0;owned\x07\x1B[2J\x7FÂ\x9B' ] || fail "server text not escaped: $err"
expect_in '>> answer: \x1b]0;owned\x07\x1b[2J\x7f' "$(cat "$work/hostile.log")"

fails 1 'log in first' "$cli" run --session-file "$session" --op 20
fails 1 'C104: Unable to connect to server!' "$cli" direct --host 127.0.0.1 --port 1 --op 2
# A stopped server still completes handshakes, and then never answers.
kill -STOP "$pid"
fails 1 'C407: Timed out waiting for the server' "$cli" direct "${at[@]}" --op 2 --timeout 0.3
kill -CONT "$pid"
"$cli" direct --help | grep -q -- '--output-format' || fail "help"

kill -TERM "$pid"
wait "$pid" || fail "server stopped by SIGTERM: status $?"
echo "programs end to end: ok"
