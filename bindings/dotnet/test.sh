#!/usr/bin/env bash
# Builds the .NET binding with Mono and runs its NUnit tests against the
# library and the reference server; installs Mono and NUnit when missing.
# Usage: [ZORVAT_BUILD_DIR=DIR] bindings/dotnet/test.sh [nunit-console options]
#        bindings/dotnet/test.sh --bench [COUNT]   (1,000 concurrent operations instead)
# (DIR defaults to build/; the library and zorvat-server are built there
# when missing, and the assemblies land in DIR/bindings/dotnet)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "$root" && mkdir -p "${ZORVAT_BUILD_DIR:-build}" && cd "${ZORVAT_BUILD_DIR:-build}" && pwd)
"$root/scripts/ensure-deps.sh" mono-devel nunit-console libnunit-cil-dev

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DZORVAT_WERROR=ON
fi
cmake --build "$build" --target zorvat zorvat-server

out=$build/bindings/dotnet
mkdir -p "$out"
mcs -target:library -unsafe -langversion:experimental -warnaserror -out:"$out/Zorvat.Net.dll" \
  -r:System.dll "$here"/src/*.cs
cp "$here/Zorvat.Net.dll.config" "$out/"
mcs -target:library -langversion:experimental -warnaserror -out:"$out/Zorvat.Tests.dll" \
  -r:"$out/Zorvat.Net.dll" -r:System.dll -pkg:nunit "$here"/tests/*.cs

mcs -langversion:experimental -warnaserror -out:"$out/ConcurrentOperations.exe" -r:"$out/Zorvat.Net.dll" \
  -r:System.dll -r:System.Core.dll "$here/bench/ConcurrentOperations.cs"

# No LD_LIBRARY_PATH: the library is found through ZORVAT_LIBRARY alone.
cd "$out"
export ZORVAT_LIBRARY ZORVAT_SERVER
ZORVAT_LIBRARY=$(readlink -f "$build/src/libzorvat.so")
ZORVAT_SERVER=$build/tools/server/zorvat-server
if [ "${1:-}" = --bench ]; then
  ulimit -n "$(ulimit -Hn)"   # a descriptor per operation in flight
  exec mono ConcurrentOperations.exe "$ZORVAT_SERVER" "${2:-1000}"
fi
nunit-console -nologo -noshadow -labels Zorvat.Tests.dll "$@"
