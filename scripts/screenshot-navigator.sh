#!/usr/bin/env bash
# Pictures of the Variable Navigator for the documentation, one per language:
# docs/navigator-en.png, docs/navigator-de.png, docs/navigator-fr.png.
# The dialog runs under Xvfb with Wine's X11 driver, in a prefix of its own
# that is stopped at the end. Not part of the test run.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh screenshot
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$(nproc)" --target navigator_screenshot >/dev/null

export WINEPREFIX=$PWD/build/windows/screenshot-prefix
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" VARD_POOL_LINGER_MS=300
display=99
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'wineserver -k 2>/dev/null || true; kill "$xvfb" 2>/dev/null || true' EXIT
export DISPLAY=":$display"
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done

[ -d "$WINEPREFIX" ] || wineboot -i >/dev/null 2>&1
# No window manager runs: Wine draws the caption and frame itself.
for key in Managed Decorated; do
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v "$key" /d N /f >/dev/null 2>&1
done
for lang in en:1033 de:1031 fr:1036; do
  wine build/windows/bin/navigator_screenshot.exe "${lang#*:}" "docs/navigator-${lang%%:*}.png"
done
