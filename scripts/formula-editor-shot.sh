#!/usr/bin/env bash
# Renders the Formula Editor over a sample pool under Xvfb, with Wine's own
# window frames, into docs/formula-editor.png.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh screenshot
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$(nproc)" --target formula_editor_shot >/dev/null

work=$(mktemp -d)
prefix=$PWD/build/windows/shot-prefix
xvfb=""
shot=""
cleanup() {
  [ -n "$shot" ] && kill "$shot" 2>/dev/null || true
  ./scripts/wine-prefix.sh stop "$prefix"
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A display number nobody uses, chosen by Xvfb itself.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$prefix"
  wineboot -i >/dev/null 2>&1
  # No window manager here: Wine draws the frames itself.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
  wineserver -w
fi

wine build/windows/bin/formula_editor_shot.exe >"$work/out" &
shot=$!
for _ in $(seq 600); do grep -q '^ready' "$work/out" 2>/dev/null && break; sleep 0.1; done
read -r _ width height < <(tr -d '\r' <"$work/out")
sleep 2  # let every control paint
xwd -root -silent | xwdtopnm 2>/dev/null |
  pamcut -left 0 -top 0 -width "$width" -height "$height" | pnmtopng >docs/formula-editor.png
echo "docs/formula-editor.png: ${width}x${height}"
