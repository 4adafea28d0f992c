#!/usr/bin/env bash
# wine-prefix.sh create DIR | stop DIR
# create: a fresh prefix whose graphics driver is null, so windows can be
#         created without a display; its wineserver is left running.
# stop:   stops the wineserver of that prefix (and no other).
set -euo pipefail
cmd=${1:?create or stop}
dir=${2:?prefix folder}
export WINEPREFIX="$dir" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
case "$cmd" in
  create)
    [ -d "$dir" ] && { wineserver -k 2>/dev/null || true; rm -rf "$dir"; }
    mkdir -p "$dir"
    wineboot -i >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    # The driver is read when the wineserver starts.
    wineserver -k 2>/dev/null || true
    wineserver -w
    ;;
  stop)
    [ -d "$dir" ] && { wineserver -k 2>/dev/null || true; }
    ;;
  *) echo "usage: $0 create|stop DIR" >&2; exit 2 ;;
esac
