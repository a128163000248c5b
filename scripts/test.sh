#!/usr/bin/env bash
# The test command: installs what is missing, configures, builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
BUILD=${BUILD_DIR:-build}
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD" -j"$(nproc)"
# One test at a time: the link tests time the line on a real pseudo-terminal, and two test
# programs at once on two cores would keep the virtual devices waiting.
QT_QPA_PLATFORM=offscreen ctest --test-dir "$BUILD" --output-on-failure
scripts/test-windows.sh      # the Windows suite: the core tests cross-built, run under Wine
scripts/test-windows-gui.sh  # the Win32 windows under Wine on a virtual display
# The release files made from these builds, and the check of them.
scripts/package.sh "$BUILD" "${BUILD_WIN_DIR:-build-win}" "$BUILD/dist"
BUILD_DIR="$BUILD" scripts/test-release.sh "$BUILD/dist"
scripts/test-sanitize.sh
