#!/usr/bin/env bash
# Times a read of N KiB (default 256) through the Windows build under Wine against the same
# read by the native build, in one run: the same worker, the same rv7k-sim options (115200 baud,
# line timing, 1 ms turnaround). Needs build/ and build-win/ (scripts/test-windows.sh).
#   bench/wine_read_bench.sh [KIB]
set -euo pipefail
cd "$(dirname "$0")/.."
KIB=${1:-256}
NATIVE=${BUILD_DIR:-build}
WIN=${BUILD_WIN_DIR:-build-win}
COM=9  # the Wine prefix's COM port mapped to the device for this run
END=$((KIB * 1024 - 1))

echo "== native ($NATIVE/bench/wire_bench)"
"$NATIVE/bench/wire_bench" --kib "$KIB" --read-only

echo "== Windows build under Wine ($WIN/bin/wire_bench.exe on COM$COM)"
WINE_BUILD=$WIN
. scripts/wine-start.sh
coproc SIM { exec "$NATIVE/sim/rv7k-sim" --memory-size $((END + 1)) --realistic --start 0x3000 \
  --end "$END" --line-timing --turnaround 1; }
trap 'kill "$SIM_PID" 2>/dev/null || true; wineserver -k >/dev/null 2>&1 || true' EXIT
read -r pty <&"${SIM[0]}"
ln -sfn "$pty" "$WINEPREFIX/dosdevices/com$COM"
wine "$WIN/bin/wire_bench.exe" --kib "$KIB" --read-only --port "COM$COM"
rm -f "$WINEPREFIX/dosdevices/com$COM"
