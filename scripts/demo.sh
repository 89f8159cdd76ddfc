#!/usr/bin/env bash
# The main job: builds the library, the reference server and the command-line
# client, starts the server on an ephemeral loopback port, runs a direct
# operation, a login, a few operations inside the session and a logout through
# zorvat-cli, prints each answer (aligned NAME value lines, or JSON where the
# step says so), and stops the server.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/ensure-deps.sh

build=build
echo "==> building (first run takes a minute)"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target zorvat-server zorvat-cli >/dev/null

server="$build/tools/server/zorvat-server"
cli="$build/tools/cli/zorvat-cli"
work=$(mktemp -d)
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

"$server" --host 127.0.0.1 --port 0 --verbose >"$work/server.out" 2>"$work/server.log" &
server_pid=$!
for _ in $(seq 100); do
  port=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$work/server.out" | head -n 1)
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "${port:-}" ] || { echo "the server did not start"; cat "$work/server.log"; exit 1; }
echo "==> zorvat-server listens on 127.0.0.1:$port"

session="$work/demo.session"
step() {
  echo
  echo "==> $1"
  shift
  echo "\$ zorvat-cli $*"
  "$cli" "$@"
}

step "A direct operation, code 2 with output format 3 (JSON). The reference server answers with what it decoded, one NAME value line per item; the format name JSON is added to argument 2 as a sub-item" \
  direct --host 127.0.0.1 --port "$port" --credential-item3 demo --credential-item1 SALES \
  --op 2 --args 'CUSTOMERS\A1001\A' --output-format 3
# A secret stays off the command line, where other users could read it, and
# off the screen: the reference server echoes every item it decoded, so the
# demo shows the echoed item's length and digest beside the secret's.
secret='secret-from-the-environment'
digest() { printf '%s' "$1" | sha256sum | cut -c1-16; }
hide_secret() {
  local line value
  while IFS= read -r line; do
    if [[ $line =~ ^(CREDENTIAL_ITEM4 +)(.*)$ ]]; then
      value=${BASH_REMATCH[2]}
      line="${BASH_REMATCH[1]}(not shown: ${#value} bytes, SHA-256 $(digest "$value")...)"
    fi
    echo "$line"
  done
}
export ZORVAT_CREDENTIAL_ITEM4=$secret
step "Log in, credential item 4 taken from ZORVAT_CREDENTIAL_ITEM4 (${#secret} bytes, SHA-256 $(digest "$secret")...), shown here by its length and digest only. The answer starts with the RECORD_ID; the session goes to a session file (mode 0600)" \
  login --host 127.0.0.1 --port "$port" --credential-item3 demo --credential-item1 SALES \
  --session-file "$session" | hide_secret
unset ZORVAT_CREDENTIAL_ITEM4
step "Inside the session, code 20: the arguments as the server got them, accented letters and the euro sign included" \
  run --session-file "$session" --op 20 --args 'Crème brûlée\A4,50 €\AŠkoda Œuvre'
step "Inside the session, code 4 with output format 2 (XML): the format name goes in as sub-item 3 of argument 1" \
  run --session-file "$session" --op 4 --args 'ORDERS\Ap0\Sp1\Sp2\Sp3' --output-format 2
step "Inside the session, code 7 with output format 8, the whole answer printed as JSON (--json): argument 2 was replaced by the format name JSON_SCH" \
  run --session-file "$session" --op 7 --args 'Zoë\Aanything' --output-format 8 --json
step "Log out: the server's answer (the logout request carries the credential items again); the session file is removed" \
  logout --session-file "$session" | hide_secret
echo
echo "==> server log"
cat "$work/server.log"
