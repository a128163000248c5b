#!/bin/sh
# Starts or stops the native host of virtual devices for the Windows tests.
# simhost.sh start|stop HOST_PROGRAM STATE_DIR WINEPREFIX
set -eu
action=$1 host=$2 dir=$3 prefix=$4
case "$action" in
  start)
    if [ ! -x "$host" ]; then
      echo "no native $host: build the native tree first (scripts/test-windows.sh does)" >&2
      exit 1
    fi
    mkdir -p "$dir" "$prefix/dosdevices"
    [ -f "$dir/pid" ] && kill "$(cat "$dir/pid")" 2>/dev/null || true
    rm -f "$dir/port" "$dir/pid"
    # Returns once the host listens; the host itself goes on in the background.
    "$host" "$dir/port" "$prefix" "$dir/pid"
    echo "rv7k-sim-host $(cat "$dir/pid") on port $(cat "$dir/port")"
    ;;
  stop)
    if [ -f "$dir/pid" ]; then
      kill "$(cat "$dir/pid")" 2>/dev/null || true
      rm -f "$dir/pid"
    fi
    ;;
esac
