#!/usr/bin/env bash
# Runs COMMAND... HOST PORT against a zorvat-server started for it on an
# ephemeral loopback port, and stops the server afterwards.
# Usage: with_reference_server.sh SERVER COMMAND...
set -euo pipefail
# shellcheck source=SCRIPTDIR/reference_server.sh
source "$(dirname "$0")/reference_server.sh"
server=$1
shift
start_reference_server "$server" /dev/null
"$@" 127.0.0.1 "$port"
