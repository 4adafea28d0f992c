#!/usr/bin/env bash
# A short session with the pool from the command line: sets up, builds the
# library, the server and vardctl, then imports the sample pressure waveform
# (docs/vardctl/pressure.csv, written by scripts/make-sample.sh), lists the
# tree, describes the waveform, prints its statistics and plots it to
# docs/vardctl/pressure.png. The 32-bit build (the product) where this
# machine can run 32-bit programs, else the 64-bit build.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
if ./scripts/can-run-32bit.sh; then
  preset=windows bits=32
else
  preset=windows64 bits=64
  echo "== this machine cannot run 32-bit programs: the session uses the 64-bit build"
fi
echo "== building the $bits-bit VARD32.dll, the server vardthk.dll and vardctl.exe"
log=$(mktemp)
if ! { cmake --preset "$preset" && cmake --build --preset "$preset" -j"$(nproc)" --target vardctl vardthk; } >"$log" 2>&1; then
  cat "$log"; rm -f "$log"; exit 1
fi
rm -f "$log"
[[ -f docs/vardctl/pressure.csv ]] || ./scripts/make-sample.sh
prefix=$PWD/build/$preset/demo-prefix
echo "== preparing a Wine prefix for the session"
./scripts/wine-prefix.sh create "$prefix"
trap './scripts/wine-prefix.sh stop "$prefix"' EXIT
export WINEPREFIX="$prefix"

vardctl() {
  echo "\$ vardctl $*"
  ./scripts/wine-run.sh "build/$preset/bin/vardctl.exe" "$@" | tr -d '\r'
}

# The pool lives while a program uses it: 'hold' keeps it for the session
# (the wineserver's stop at the end ends it).
held=$(mktemp)
./scripts/wine-run.sh "build/$preset/bin/vardctl.exe" hold --seconds 600 >"$held" 2>&1 &
for _ in $(seq 100); do grep -q "pool ready" "$held" && break; sleep 0.2; done
rm -f "$held"

vardctl import pressure docs/vardctl/pressure.csv --path Plant.Line1.Pressure \
  --description "line pressure after the valve closes"
vardctl set setpoint 2 --units bar --path Plant.Line1.Setpoint
vardctl tree
vardctl info pressure
vardctl stats pressure --from 0.5
vardctl crossings pressure --level 2 --from 0.5 --to 1
vardctl plot pressure docs/vardctl/pressure.png --width 720 --height 320 \
  --title "Line 1 pressure after the valve closes"
echo "== wrote docs/vardctl/pressure.png"
