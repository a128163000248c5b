#!/usr/bin/env bash
# The station against N virtual devices at once: N rv7k-sim processes with line timing and a
# 1 ms turnaround at 115200 baud, a write with read-back of a KIB image on each, one port alone
# first and then all N at once, in one run. Prints each port's seconds against the port alone,
# the retries, and the CPU of the station process.
#   bench/station_bench.sh [N] [KIB]     (defaults: 8 ports, 256 KiB)
set -euo pipefail
cd "$(dirname "$0")/.."
N=${1:-8}
KIB=${2:-256}
BUILD=${BUILD_DIR:-build}
CLI="$BUILD/cli/dikton-cli"
SIM="$BUILD/sim/rv7k-sim"
END=$((KIB * 1024 - 1))
WORK=$(mktemp -d)
PIDS=()
trap 'kill "${PIDS[@]}" 2>/dev/null || true; rm -rf "$WORK"' EXIT

PORTS=()
for i in $(seq 1 "$N"); do
  "$SIM" --memory-size $((END + 1)) --realistic --start 0x3000 --end "$END" --line-timing \
    --turnaround 1 > "$WORK/sim$i" &
  PIDS+=($!)
done
for i in $(seq 1 "$N"); do
  while [ ! -s "$WORK/sim$i" ]; do sleep 0.1; done
  PORTS+=(-p "$(head -n 1 "$WORK/sim$i")")
done

echo "$N ports, ${KIB} KiB write with read-back each, 115200 baud, 1 ms turnaround"
"$CLI" "${PORTS[@]:0:2}" -q read "$WORK/image.bin" > /dev/null 2> "$WORK/read.err"
IMAGE="$WORK/image.bin"

measure() {  # LOG ARGS...: runs the station, prints its CPU seconds and wall seconds
  local log=$1
  shift
  /usr/bin/time -f "%U %S %e" -o "$WORK/time" "$CLI" "$@" --log "$log" -q write "$IMAGE" > /dev/null 2>> "$WORK/write.err"
  read -r user sys wall < "$WORK/time"
  echo "$user $sys $wall"
}
read -r au as aw <<< "$(measure "$WORK/alone.jsonl" "${PORTS[@]:0:2}")"
read -r nu ns nw <<< "$(measure "$WORK/all.jsonl" "${PORTS[@]}")"

python3 - "$WORK/alone.jsonl" "$WORK/all.jsonl" "$au" "$as" "$aw" "$nu" "$ns" "$nw" <<'PY'
import json, sys
alone = [json.loads(l) for l in open(sys.argv[1])]
every = [json.loads(l) for l in open(sys.argv[2])]
au, as_, aw, nu, ns, nw = map(float, sys.argv[3:9])
base = alone[0]["seconds"]
print(f"{'port':<14} {'outcome':<10} {'seconds':>8} {'of alone':>9} {'retries':>8}")
print(f"{'alone':<14} {alone[0]['outcome']:<10} {base:8.1f} {1:9.3f} {alone[0]['retries']:8d}")
worst = 0
for r in sorted(every, key=lambda r: r["port"]["given"]):
    ratio = r["seconds"] / base
    worst = max(worst, ratio)
    print(f"{r['port']['given'].removeprefix('/dev/'):<14} {r['outcome']:<10} {r['seconds']:8.1f} "
          f"{ratio:9.3f} {r['retries']:8d}")
print(f"slowest port {worst:.3f} of the port alone; retries {sum(r['retries'] for r in every)}")
print(f"station process CPU: alone {100 * (au + as_) / aw:.1f}% of one core, "
      f"{len(every)} ports {100 * (nu + ns) / nw:.1f}% of one core (with the in-process view)")
mib = 1024 * 1024
per = base * mib / (alone[0]["bytes_total"] or 1)
print(f"1 MiB write with read-back: {per / 60:.1f} min a device alone; at the slowest port's "
      f"pace {len(every)} ports program {3600 / (per * worst) * len(every):.0f} devices an hour")
PY
