#!/usr/bin/env bash
# wine-prefix.sh create DIR | stop DIR
# create: a fresh prefix whose graphics driver is null, so windows can be
#         created without a display; its wineserver is left running. The
#         prefix is 64-bit and also runs 32-bit programs where the machine can.
# stop:   stops the wineserver of that prefix (and no other).
# A failure says what failed and shows Wine's own words.
set -euo pipefail
cmd=${1:?create or stop}
dir=${2:?prefix folder}
source "$(dirname "$0")/wine-loader.sh"
export WINEPREFIX="$dir" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# step WHAT COMMAND...: runs COMMAND; on failure prints WHAT and its output.
step() {
  local what=$1 log status=0
  shift
  log=$(mktemp)
  "$@" >"$log" 2>&1 || status=$?
  if ((status != 0)); then
    echo "wine-prefix: $what failed (exit $status) for $dir: $*" >&2
    tail -n 20 "$log" >&2
    rm -f "$log"
    exit 1
  fi
  rm -f "$log"
}

case "$cmd" in
  create)
    [ -d "$dir" ] && { wineserver -k 2>/dev/null || true; rm -rf "$dir"; }
    mkdir -p "$dir"
    step "initialising the prefix" "$wine_loader" wineboot -i
    step "selecting the null graphics driver" \
      "$wine_loader" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
    # The driver is read when the wineserver starts.
    wineserver -k 2>/dev/null || true
    step "waiting for the wineserver to stop" wineserver -w
    ;;
  stop)
    [ -d "$dir" ] && { wineserver -k 2>/dev/null || true; }
    ;;
  *) echo "usage: $0 create|stop DIR" >&2; exit 2 ;;
esac
