#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 machine.
# A quick no-op when all of it is present already.
set -euo pipefail

need=(cmake make g++ g++-mingw-w64-i686 mingw-w64-tools wine googletest libbenchmark-dev
      libfftw3-dev libkissfft-dev)
# The 64-bit build and its tests, which also run where 32-bit programs cannot.
need+=(g++-mingw-w64-x86-64-posix wine64)
# vardctl: its argument parser and its PNG writer (both header-only).
need+=(libcli11-dev libstb-dev)
need_i386=(wine32:i386)
# Only for the screenshot scripts (scripts/formula-editor-shot.sh,
# scripts/screenshot-navigator.sh): a virtual X display, the tools that
# capture it, Wine's own fonts and stb's PNG writer.
if [ "${1:-}" = screenshot ]; then
  need+=(xvfb x11-apps netpbm fonts-wine libstb-dev)
fi

missing=()
for p in "${need[@]}" "${need_i386[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]} == 0)); then
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi

# The security mirror's i386 index is sometimes served with a wrong size, which
# makes a plain update fail and leaves wine32:i386 unresolvable. Fall back to
# the main archive alone when that happens.
main_only=$(mktemp -d)
trap 'rm -rf "$main_only"' EXIT
cat > "$main_only/main.sources" <<'SRC'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC

apt_opts=()
if ! $SUDO apt-get update -q; then
  echo "setup: apt-get update failed; retrying with the main archive only" >&2
  apt_opts=(-o "Dir::Etc::SourceParts=$main_only" -o "Dir::Etc::SourceList=/dev/null")
  $SUDO apt-get "${apt_opts[@]}" update -q
fi
if ! $SUDO apt-get "${apt_opts[@]}" install -y -q --no-install-recommends "${missing[@]}"; then
  echo "setup: install failed; retrying with the main archive only" >&2
  apt_opts=(-o "Dir::Etc::SourceParts=$main_only" -o "Dir::Etc::SourceList=/dev/null")
  $SUDO apt-get "${apt_opts[@]}" update -q
  $SUDO apt-get "${apt_opts[@]}" install -y -q --no-install-recommends "${missing[@]}"
fi
