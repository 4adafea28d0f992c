#!/usr/bin/env bash
# Runs a Windows benchmark the way its figures are meant to be read: the
# wineserver stopped first, then everything pinned to one CPU (cross-CPU
# wake-ups under Wine are slow and noisy). Ratios measured within one run
# are what count; absolute times differ from machine to machine.
#   scripts/bench.sh [32|64] roundtrip_bench [args...]
# 32 (the default) runs the 32-bit build, 64 the 64-bit one; where 32-bit
# programs cannot run, the default is 64.
set -euo pipefail
cd "$(dirname "$0")/.."
bits=
case "${1:-}" in 32|64) bits=$1; shift ;; esac
name=${1:?benchmark program}; shift
./scripts/setup.sh
if [ -z "$bits" ]; then
  bits=32
  if ! ./scripts/can-run-32bit.sh; then
    echo "this machine cannot run 32-bit programs: running the 64-bit build" >&2
    bits=64
  fi
fi
preset=windows; [ "$bits" = 64 ] && preset=windows64
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)" --target "$name" >/dev/null
prefix=$PWD/build/$preset/bench-prefix
[ -d "$prefix" ] || ./scripts/wine-prefix.sh create "$prefix"
./scripts/wine-prefix.sh stop "$prefix"
trap './scripts/wine-prefix.sh stop "$prefix"' EXIT
echo "== $name, $bits-bit build" >&2
WINEPREFIX="$prefix" taskset -c 0 ./scripts/wine-run.sh "build/$preset/bin/$name.exe" "$@"
