#!/usr/bin/env bash
# The run command: installs what is missing, builds, and starts Dikton with its built-in
# virtual device on COM1. Extra arguments go to the program (e.g. --com 2=/dev/ttyUSB0).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
BUILD=${BUILD_DIR:-build}
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD" -j"$(nproc)" --target dikton voices
if [ "$#" -eq 0 ]; then set -- --demo; fi
exec "$BUILD/app/gui/dikton" "$@"
