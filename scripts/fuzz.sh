#!/usr/bin/env bash
# The decoder fuzz test at scale: random requests over every operation code
# against the server core, built optimised with AddressSanitizer and UBSan
# (any finding stops the run and fails it). Not part of scripts/test.sh,
# which runs the same test for 40 000 requests.
#   scripts/fuzz.sh [requests] [seed]     (default 10 000 000, the test's seed)
# The count, the seed and the time are printed at the end; docs/hardening.md
# records the last full run.
set -euo pipefail
cd "$(dirname "$0")/.."
requests=${1:-10000000}
./scripts/setup.sh
cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARD_SANITIZE=ON >/dev/null
cmake --build build/fuzz -j"$(nproc)" --target decoder_fuzz_test >/dev/null
export VARD_FUZZ_ITERATIONS=$requests
[ -n "${2:-}" ] && export VARD_FUZZ_SEED=$2
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
start=$(date +%s)
build/fuzz/tests/decoder_fuzz_test 2>&1 | tail -n 5 || { echo "fuzz: FAILED" >&2; exit 1; }
echo "fuzz: $requests requests (seed ${VARD_FUZZ_SEED:-default}) in $(( $(date +%s) - start )) s, no findings"
