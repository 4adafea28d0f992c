#!/usr/bin/env bash
# Runs a Windows program (32-bit or 64-bit) under Wine in the build's
# throw-away prefix. Used as the cross-compiling emulator, so ctest, the demo
# and the benchmarks share it.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the throw-away prefix}"
source "$(dirname "$0")/wine-loader.sh"
# Quiet, except why a program could not start (a DLL it needs is missing).
export WINEDEBUG="${WINEDEBUG:--all,err+module}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec "$wine_loader" "$@"
