#!/usr/bin/env bash
# Writes the sample waveform that the README's session imports:
# docs/vardctl/pressure.csv, 4 seconds of a pressure that rings down after a
# valve closes, sampled at 1 kHz, with a 50 Hz ripple on it. Computed by awk
# from sines and exponentials only, so every machine writes the same file.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/vardctl/pressure.csv}
awk 'BEGIN {
  pi = atan2(0, -1)
  print "time [s],pressure [bar]"
  for (i = 0; i < 4000; i++) {
    t = i / 1000
    p = 2.0
    if (t >= 0.5) p += 1.5 * exp(-(t - 0.5) / 0.6) * sin(2 * pi * 6 * (t - 0.5))
    p += 0.04 * sin(2 * pi * 50 * t)
    printf "%.3f,%.5f\n", t, p
  }
}' >"$out"
echo "wrote $out"
