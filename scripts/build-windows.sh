#!/usr/bin/env bash
# Cross-builds the Windows programs with mingw-w64 (static, no DLL needed) into build-win/.
# The programs land in build-win/bin/, among them the GUI program dikton.exe: one file, to be
# copied as it is. Installs the compilers, Wine and GoogleTest's sources
# when they are missing. Extra arguments go to CMake's configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh g++-mingw-w64-x86-64 mingw-w64 wine wine64 googletest
BUILD=${BUILD_WIN_DIR:-build-win}
cmake -S . -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build "$BUILD" -j"${JOBS:-$(nproc)}"
echo "Windows programs: $BUILD/bin/ (the GUI program: $BUILD/bin/dikton.exe)"
