# Sourced by the scripts that run Windows programs under Wine (test-windows.sh, the benchmark):
# a quiet Wine with a prefix of its own in the build folder and its server kept warm.
# Expects WINE_BUILD (the Windows build folder). Stops the server when the caller exits.

# A prefix of our own, quiet, with no display: nothing depends on $HOME or on an X server.
export WINEPREFIX="$PWD/$WINE_BUILD/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
wineserver -k >/dev/null 2>&1 || true  # a server left over, or the one wineboot started
wineserver -w >/dev/null 2>&1 || true
# Keep Wine's server running for the whole run, quiet: started anew for every program it costs
# seconds each, and Wine's background processes holding CTest's pipes stall the run. It runs in
# the foreground of a shell of its own (-f), so it never leads a session: a session leader would
# take the first pseudo-terminal it opens as its controlling terminal, and be hung up when that
# virtual device goes away.
wine_server=$(printf 'server-%x-%x' "0x$(stat -c %D "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
setsid sh -c 'wineserver -f -p >/dev/null 2>&1 </dev/null &'
for _ in $(seq 100); do  # until it listens (its folder is /tmp/.wine-UID or a /tmp/wine-XXXXXX)
  ls /tmp/.wine-"$(id -u)"/"$wine_server"/socket /tmp/wine-*/"$wine_server"/socket \
    >/dev/null 2>&1 && break
  sleep 0.1
done
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wineboot >/dev/null 2>&1 </dev/null  # Wine's own services, started with quiet output
