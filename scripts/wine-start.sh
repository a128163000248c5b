# Sourced by the scripts that run Windows programs under Wine (test-windows.sh, the benchmark):
# a quiet Wine with a prefix of its own in the build folder and its server kept warm.
# Expects WINE_BUILD (the Windows build folder). Stops the server when the caller exits.

# A prefix of our own, quiet, with no display: nothing depends on $HOME or on an X server.
export WINEPREFIX="$PWD/$WINE_BUILD/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
. scripts/wine-server.sh
wine_warm_server
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wineboot >/dev/null 2>&1 </dev/null  # Wine's own services, started with quiet output
