#!/usr/bin/env bash
# Takes docs/screenshot-windows.png: dikton.exe under Wine, in a Wine desktop of its own (so
# that Wine draws the window's frame) on a virtual X display.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh g++-mingw-w64-x86-64 mingw-w64 wine wine64 xvfb fonts-wine fonts-dejavu-core \
  imagemagick
BUILD=${BUILD_WIN_DIR:-build-win}
[ -f "$BUILD/bin/dikton.exe" ] || scripts/build-windows.sh
source scripts/wine-gui-env.sh
DESKTOP=820x560  # px: the main window and its frame, with a margin
wine explorer /desktop=Dikton,$DESKTOP "$BUILD/bin/dikton.exe" >/dev/null 2>&1 &
app=$!
sleep "${SHOT_DELAY:-8}"  # the window has been drawn by then; nothing here is a test
import -window root -crop "$DESKTOP+0+0" docs/screenshot-windows.png
kill "$app" 2>/dev/null || true
echo "docs/screenshot-windows.png"
