# Sourced by wine-start.sh and wine-gui-env.sh. wine_warm_server makes the prefix $WINEPREFIX
# once and keeps Wine's server running for the whole run, quiet: started anew for every program
# it costs seconds each, and Wine's background processes holding CTest's pipes stall the run. It
# runs in the foreground of a shell of its own (-f), so it never leads a session: a session
# leader would take the first pseudo-terminal it opens as its controlling terminal, and be hung
# up when that virtual device goes away.
wine_warm_server() {
  [ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1 </dev/null
  wineserver -k >/dev/null 2>&1 || true  # a server left over, or the one wineboot started
  wineserver -w >/dev/null 2>&1 || true
  local server
  server=$(printf 'server-%x-%x' "0x$(stat -c %D "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
  setsid sh -c 'wineserver -f -p >/dev/null 2>&1 </dev/null &'
  for _ in $(seq 100); do  # until it listens (its folder is /tmp/.wine-UID or /tmp/wine-XXXXXX)
    ls /tmp/.wine-"$(id -u)"/"$server"/socket /tmp/wine-*/"$server"/socket \
      >/dev/null 2>&1 && break
    sleep 0.1
  done
}
