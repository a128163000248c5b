#!/usr/bin/env bash
# Builds a release from a clean tree into dist/: the committed sources (HEAD, exported with
# git archive, so nothing uncommitted or left over from other builds goes in) in fresh build
# folders, the Linux programs with the Qt GUI and the Windows programs, then the zip, the
# Debian package and SHA256SUMS (scripts/package.sh). Warnings are errors in both builds.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
scripts/deps.sh g++-mingw-w64-x86-64 mingw-w64 dpkg-dev python3
[ -z "$(git status --porcelain --untracked-files=no)" ] ||
  echo "release.sh: uncommitted changes are left out: the release is HEAD ($(git rev-parse --short HEAD))" >&2
WORK=${RELEASE_WORK_DIR:-$ROOT/build-release}
rm -rf "$WORK"
mkdir -p "$WORK/src"
git archive HEAD | tar -x -C "$WORK/src"
JOBS=${JOBS:-$(nproc)}
cmake -S "$WORK/src" -B "$WORK/linux" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDIKTON_TESTS=OFF \
  -DDIKTON_BENCH=OFF
cmake --build "$WORK/linux" -j"$JOBS"
cmake -S "$WORK/src" -B "$WORK/windows" -DCMAKE_TOOLCHAIN_FILE="$WORK/src/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDIKTON_TESTS=OFF -DDIKTON_BENCH=OFF
cmake --build "$WORK/windows" -j"$JOBS"
"$WORK/src/scripts/package.sh" "$WORK/linux" "$WORK/windows" "$ROOT/dist"
