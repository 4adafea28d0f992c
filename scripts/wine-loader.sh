# Sourced by the Wine scripts: sets $wine_loader to the 64-bit Wine loader.
# It runs 64-bit programs itself and hands 32-bit ones to the 32-bit loader.
# Debian's `wine` wrapper is not used: it picks the 32-bit loader whenever
# wine32 is installed, even on a machine that cannot run 32-bit code.
wine_loader=/usr/lib/wine/wine64
if [ ! -x "$wine_loader" ]; then
  echo "$wine_loader is missing (Debian package wine64): run scripts/setup.sh" >&2
  exit 1
fi
