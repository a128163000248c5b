#!/usr/bin/env bash
# The Windows GUI suite: cross-builds dikton.exe and its window tests (build-windows.sh) and runs
# them under Wine on a virtual X display (Xvfb), with a Wine prefix of their own,
# build-win/wineprefix-gui. The tests that talk to a device reach a native one (rv7k-sim-host,
# from the native build) through a COM port of that prefix.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh g++-mingw-w64-x86-64 mingw-w64 wine wine64 googletest xvfb \
  fonts-wine fonts-dejavu-core
BUILD=${BUILD_WIN_DIR:-build-win}
NATIVE=${BUILD_DIR:-build}
scripts/build-windows.sh -DDIKTON_TESTS=ON -DDIKTON_NATIVE_BUILD_DIR="$PWD/$NATIVE"

# The native host of the virtual devices; the native tree is there already after test.sh.
if [ ! -f "$NATIVE/CMakeCache.txt" ]; then
  cmake -S . -B "$NATIVE" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$NATIVE" -j"${JOBS:-$(nproc)}" --target rv7k-sim-host

source scripts/wine-gui-env.sh
ctest --test-dir "$BUILD" -L wingui --output-on-failure
# The windows measured again on a 150 % screen (144 DPI), then the prefix back at 96.
wine_gui_dpi 144
DIKTON_EXPECT_DPI=144 ctest --test-dir "$BUILD" -L wingui -R '^Win32Scaled\.' --output-on-failure
wine_gui_dpi 96
