#!/usr/bin/env bash
# Sets up the machine, builds the library, the server and the demo client,
# and runs the demo against the real server under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
echo "== building VARD32.dll, the server vardthk.dll and the demo client"
log=$(mktemp)
if ! { cmake --preset windows && cmake --build --preset windows -j"$(nproc)" --target vard_demo vardthk; } >"$log" 2>&1; then
  cat "$log"; rm -f "$log"; exit 1
fi
rm -f "$log"
prefix=$PWD/build/windows/demo-prefix
echo "== preparing a Wine prefix for the demo"
./scripts/wine-prefix.sh create "$prefix"
trap './scripts/wine-prefix.sh stop "$prefix"' EXIT
echo "== running the demo client (it starts build/windows/bin/vardthk.dll itself)"
WINEPREFIX="$prefix" ./scripts/wine-run.sh build/windows/bin/vard_demo.exe
