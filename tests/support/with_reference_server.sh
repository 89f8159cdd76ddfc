#!/usr/bin/env bash
# Runs COMMAND... HOST PORT against a zorvat-server started for it, with the
# given server options, on an ephemeral loopback port, and stops the server
# afterwards.
# Usage: with_reference_server.sh SERVER [SERVER-OPTION...] -- COMMAND...
#        with_reference_server.sh SERVER COMMAND...
set -euo pipefail
# shellcheck source=SCRIPTDIR/reference_server.sh
source "$(dirname "$0")/reference_server.sh"
server=$1
shift
options=()
if [[ " $* " == *" -- "* ]]; then
  while [ "$1" != -- ]; do options+=("$1"); shift; done
  shift
fi
start_reference_server "$server" /dev/null "${options[@]}"
"$@" 127.0.0.1 "$port"
