#!/usr/bin/env bash
# The Windows suite: cross-builds the Windows programs and their tests (build-windows.sh) and
# runs every core test as a Windows program under Wine through CTest. The tests that talk to a
# virtual device reach a native one (rv7k-sim-host, from the native build) on a Linux
# pseudo-terminal through a COM port of the Wine prefix kept in build-win/wineprefix.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD_WIN_DIR:-build-win}
NATIVE=${BUILD_DIR:-build}
scripts/build-windows.sh -DDIKTON_TESTS=ON -DDIKTON_NATIVE_BUILD_DIR="$PWD/$NATIVE"

# The native host of the virtual devices; the native tree is there already after test.sh.
if [ ! -f "$NATIVE/CMakeCache.txt" ]; then
  cmake -S . -B "$NATIVE" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$NATIVE" -j"${JOBS:-$(nproc)}" --target rv7k-sim-host

WINE_BUILD=$BUILD
. scripts/wine-start.sh
ctest --test-dir "$BUILD" -LE wingui --output-on-failure
