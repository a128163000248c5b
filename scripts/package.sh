#!/usr/bin/env bash
# Makes the release files from a native build (with the Qt program) and a Windows cross build:
#   DIST/dikton-VERSION-windows-x64.zip  dikton.exe, dikton-cli.exe and ПРОЧТИ.txt
#   DIST/dikton_VERSION_ARCH.deb         made by CPack from the native build
#   DIST/SHA256SUMS                      beside them
# VERSION is the CMake project's VERSION. scripts/release.sh builds both trees afresh and calls
# this; the test command calls it on the trees it has built, for the release check.
# package.sh [NATIVE_BUILD [WINDOWS_BUILD [DIST]]]
set -euo pipefail
cd "$(dirname "$0")/.."
NATIVE=${1:-build} WIN=${2:-build-win} DIST=${3:-dist}
scripts/deps.sh dpkg-dev python3 binutils-mingw-w64-x86-64
VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$NATIVE/CMakeCache.txt")
[ -n "$VERSION" ] || { echo "package.sh: no configured build in $NATIVE" >&2; exit 1; }
for exe in dikton.exe dikton-cli.exe; do
  [ -f "$WIN/bin/$exe" ] || { echo "package.sh: $WIN/bin/$exe is not built" >&2; exit 1; }
done
mkdir -p "$DIST"
DIST=$(cd "$DIST" && pwd)
STAGE=$(mktemp -d)
trap 'rm -rf "$STAGE"' EXIT
ZIP=dikton-$VERSION-windows-x64.zip
DEB=dikton_${VERSION}_$(dpkg --print-architecture).deb
rm -f "$DIST/$ZIP" "$DIST/$DEB" "$DIST/SHA256SUMS"

# The Windows programs without their debugging symbols; the notes for the technician in UTF-8
# with a byte-order mark and CR LF, as Notepad reads them.
mkdir "$STAGE/win"
for exe in dikton.exe dikton-cli.exe; do
  x86_64-w64-mingw32-strip -o "$STAGE/win/$exe" "$WIN/bin/$exe"
done
{
  printf '\xEF\xBB\xBF'
  sed -e "s/@VERSION@/$VERSION/" -e 's/$/\r/' packaging/ПРОЧТИ.txt
} >"$STAGE/win/ПРОЧТИ.txt"
python3 - "$STAGE/win" "$DIST/$ZIP" <<'PY'
import pathlib, sys, zipfile
src, out = pathlib.Path(sys.argv[1]), sys.argv[2]
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for name in ("dikton.exe", "dikton-cli.exe", "ПРОЧТИ.txt"):
        z.write(src / name, name)
PY

# The Debian package of what the native build installs.
cpack --config "$NATIVE/CPackConfig.cmake" -B "$STAGE/deb" >"$STAGE/cpack.log" ||
  { cat "$STAGE/cpack.log" >&2; exit 1; }
mv "$STAGE/deb/$DEB" "$DIST/$DEB"

(cd "$DIST" && sha256sum "$ZIP" "$DEB" >SHA256SUMS)
ls -l "$DIST/$ZIP" "$DIST/$DEB" "$DIST/SHA256SUMS"
