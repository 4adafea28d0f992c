#!/usr/bin/env bash
# Sets up the machine, builds both presets and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
jobs=$(nproc)

cmake --preset native
cmake --build --preset native -j"$jobs"
ctest --preset native -j"$jobs"

# The pool's concurrency and session tests under ThreadSanitizer: races that
# the other sanitizers cannot see.
cmake --preset tsan
cmake --build --preset tsan -j"$jobs"
ctest --preset tsan

cmake --preset windows
cmake --build --preset windows -j"$jobs"
ctest --preset windows -j"$jobs"
