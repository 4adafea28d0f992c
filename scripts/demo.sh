#!/usr/bin/env bash
# Sets up the machine, builds the library, the server and the demo client,
# and runs the demo against the real server under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$(nproc)" --target vard_demo vardthk
prefix=$PWD/build/windows/demo-prefix
echo "== preparing a Wine prefix for the demo"
./scripts/wine-prefix.sh create "$prefix"
trap './scripts/wine-prefix.sh stop "$prefix"' EXIT
echo "== running the demo client (it starts build/windows/bin/vardthk.dll itself)"
WINEPREFIX="$prefix" ./scripts/wine-run.sh build/windows/bin/vard_demo.exe
