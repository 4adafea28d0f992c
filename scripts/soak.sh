#!/usr/bin/env bash
# The soak against the real server: client processes x threads of mixed
# operations for a while, then operations per second, latency percentiles,
# the host's memory over time and any failure (docs/hardening.md).
#   scripts/soak.sh [32|64] [seconds [processes [threads]]]
# Defaults: 600 s, 8 processes, 4 threads (the ctest label `soak` runs the
# same: ctest --test-dir build/windows -L soak). Not part of scripts/test.sh,
# which runs a 30-second 2 x 2 version.
set -euo pipefail
cd "$(dirname "$0")/.."
bits=
case "${1:-}" in 32|64) bits=$1; shift ;; esac
seconds=${1:-600} processes=${2:-8} threads=${3:-4}
./scripts/setup.sh
if [ -z "$bits" ]; then
  bits=32
  if [ -x scripts/can-run-32bit.sh ] && ! ./scripts/can-run-32bit.sh; then bits=64; fi
fi
preset=windows; [ "$bits" = 64 ] && preset=windows64
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)" --target vard_soak >/dev/null
prefix=$PWD/build/$preset/soak-prefix
[ -d "$prefix" ] || ./scripts/wine-prefix.sh create "$prefix"
root=$PWD
trap '"$root/scripts/wine-prefix.sh" stop "$prefix"' EXIT
cd "build/$preset/bin"
WINEPREFIX="$prefix" ../../../scripts/wine-run.sh ./vard_soak.exe run "$seconds" "$processes" "$threads"
