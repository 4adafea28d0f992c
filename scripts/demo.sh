#!/usr/bin/env bash
# Sets up the machine, builds the library, the server and the demo client,
# and runs the demo against the real server under Wine: the 32-bit build
# (the product) where this machine can run 32-bit programs, else the 64-bit
# build.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
if ./scripts/can-run-32bit.sh; then
  preset=windows bits=32
else
  preset=windows64 bits=64
  echo "== this machine cannot run 32-bit programs: the demo uses the 64-bit build"
fi
echo "== building the $bits-bit VARD32.dll, the server vardthk.dll and the demo client"
log=$(mktemp)
if ! { cmake --preset "$preset" && cmake --build --preset "$preset" -j"$(nproc)" --target vard_demo vardthk; } >"$log" 2>&1; then
  cat "$log"; rm -f "$log"; exit 1
fi
rm -f "$log"
prefix=$PWD/build/$preset/demo-prefix
echo "== preparing a Wine prefix for the demo"
./scripts/wine-prefix.sh create "$prefix"
trap './scripts/wine-prefix.sh stop "$prefix"' EXIT
echo "== running the $bits-bit demo client (it starts build/$preset/bin/vardthk.dll itself)"
WINEPREFIX="$prefix" ./scripts/wine-run.sh "build/$preset/bin/vard_demo.exe"
