#!/usr/bin/env bash
# Runs a Windows benchmark the way its figures are meant to be read: the
# wineserver stopped first, then everything pinned to one CPU (cross-CPU
# wake-ups under Wine are slow and noisy). Ratios measured within one run
# are what count; absolute times differ from machine to machine.
#   scripts/bench.sh roundtrip_bench [args...]
set -euo pipefail
cd "$(dirname "$0")/.."
name=${1:?benchmark program}; shift
./scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$(nproc)" --target "$name" >/dev/null
prefix=$PWD/build/windows/bench-prefix
[ -d "$prefix" ] || ./scripts/wine-prefix.sh create "$prefix"
./scripts/wine-prefix.sh stop "$prefix"
trap './scripts/wine-prefix.sh stop "$prefix"' EXIT
WINEPREFIX="$prefix" taskset -c 0 ./scripts/wine-run.sh "build/windows/bin/$name.exe" "$@"
