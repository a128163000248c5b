#!/usr/bin/env bash
# Retakes docs/screenshot.png: the demo program under Xvfb with the voice list opened from a
# neutral folder (/tmp/voices), so that no folder of the machine that takes it shows.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh xvfb x11-utils xdotool imagemagick
BUILD=${BUILD_DIR:-build}
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j1 --target dikton voices

VOICES=/tmp/voices
rm -rf "$VOICES"
cp -r "$BUILD/voices" "$VOICES"

SCREEN=:57
Xvfb "$SCREEN" -screen 0 1024x768x24 -nolisten tcp &
XVFB=$!
APP=""
cleanup() {
  [ -n "$APP" ] && kill "$APP" 2>/dev/null || true
  kill "$XVFB" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=$SCREEN
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

"$BUILD/app/gui/dikton" --demo &
APP=$!
WINDOW=$(xdotool search --sync --onlyvisible --name "Dikton")
xdotool windowmove "$WINDOW" 0 0
sleep 1

# "Файл" -> "Открыть список" (the fourth enabled item), then the list's path in the dialog.
xdotool mousemove --window "$WINDOW" 18 8 click 1
sleep 0.5
xdotool key Down Down Down Down Return
xdotool search --sync --onlyvisible --name "Чтение имен из файла" >/dev/null
xdotool type --delay 20 "$VOICES/paths.txt"
xdotool key Return
sleep 1

import -window "$WINDOW" docs/screenshot.png
echo "docs/screenshot.png: $(identify -format '%wx%h' docs/screenshot.png)"
