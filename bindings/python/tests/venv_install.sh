#!/usr/bin/env bash
# The package as a user installs it: pip in a new virtual environment builds
# libzorvat from the checkout and ships it inside; then, with nothing set, the
# package reports its versions and runs an operation on the reference server.
# Usage: venv_install.sh PYTHON PACKAGE_DIR SERVER WORK_DIR
set -euo pipefail
python=$1
package=$2
server=$3
work=$4
fail() { echo "FAILED: $*" >&2; exit 1; }
# shellcheck source=SCRIPTDIR/../../../tests/support/reference_server.sh
source "$(dirname "$0")/../../../tests/support/reference_server.sh"
rm -rf "$work"
# The environment borrows the interpreter's pip (seeding its own takes longer
# than the build); the package still goes into its own site-packages (checked below).
"$python" -m venv --system-site-packages --without-pip "$work/venv"
"$work/venv/bin/python" -m pip install --no-index --disable-pip-version-check --quiet "$package"

clean() { env -i "$work/venv/bin/python" "$@"; }
versions=$(clean -m zorvat --version)
echo "$versions"
grep -q "^libzorvat .*($work/venv/.*/zorvat/libzorvat.so.1)\$" <<<"$versions" ||
  fail "the library shipped in the package was not the one loaded"

start_reference_server "$server" /dev/null
clean -c "
import zorvat
answer = zorvat.execute_direct(zorvat.CredentialOptions('127.0.0.1', $port), 2, 'venv')
assert answer['ARGUMENTS'].startswith('venv'), answer.items
" || fail "an operation from the installed package"
echo "installed package: ok"
