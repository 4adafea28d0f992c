#!/usr/bin/env bash
# Runs a Windows program under Wine in the build's throw-away prefix.
# Used as the cross-compiling emulator, so ctest and the demo share it.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the throw-away prefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec wine "$@"
