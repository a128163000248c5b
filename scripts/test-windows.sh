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

# A prefix of our own, quiet, with no display: nothing depends on $HOME or on an X server.
export WINEPREFIX="$PWD/$BUILD/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
wineserver -k >/dev/null 2>&1 || true  # a server left over, or the one wineboot started
wineserver -w >/dev/null 2>&1 || true
# Keep Wine's server running for the whole run, quiet: started anew for every test it costs
# seconds each, and Wine's background processes holding CTest's pipes stall the run. It runs in
# the foreground of a shell of its own (-f), so it never leads a session: a session leader would
# take the first pseudo-terminal it opens as its controlling terminal, and be hung up when that
# virtual device goes away.
server=$(printf 'server-%x-%x' "0x$(stat -c %D "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
setsid sh -c 'wineserver -f -p >/dev/null 2>&1 </dev/null &'
for _ in $(seq 100); do  # until it listens (its folder is /tmp/.wine-UID or a /tmp/wine-XXXXXX)
  ls /tmp/.wine-"$(id -u)"/"$server"/socket /tmp/wine-*/"$server"/socket >/dev/null 2>&1 && break
  sleep 0.1
done
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wineboot >/dev/null 2>&1 </dev/null  # Wine's own services, started with quiet output
ctest --test-dir "$BUILD" --output-on-failure
