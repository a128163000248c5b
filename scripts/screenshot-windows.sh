#!/usr/bin/env bash
# Takes docs/screenshot-windows.png (96 DPI, 100 %) and docs/screenshot-windows-144dpi.png
# (144 DPI, 150 %): dikton.exe under Wine, in a Wine desktop of its own (so that Wine draws the
# window's frame) on a virtual X display.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh g++-mingw-w64-x86-64 mingw-w64 wine wine64 xvfb fonts-wine fonts-dejavu-core \
  imagemagick
BUILD=${BUILD_WIN_DIR:-build-win}
[ -f "$BUILD/bin/dikton.exe" ] || scripts/build-windows.sh
source scripts/wine-gui-env.sh
shoot() {  # DPI, desktop size (the main window and its frame, with a margin), file
  wine_gui_dpi "$1"
  wine explorer /desktop=Dikton,"$2" "$BUILD/bin/dikton.exe" >/dev/null 2>&1 &
  local app=$!
  sleep "${SHOT_DELAY:-8}"  # the window has been drawn by then; nothing here is a test
  import -window root -crop "$2+0+0" "$3"
  kill "$app" 2>/dev/null || true
  wineserver -k >/dev/null 2>&1 || true
  echo "$3"
}
shoot 96 820x560 docs/screenshot-windows.png
shoot 144 1220x880 docs/screenshot-windows-144dpi.png
wine_gui_dpi 96
