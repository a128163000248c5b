# Sourced by test-windows-gui.sh and screenshot-windows.sh: a virtual X display (Xvfb) and the
# Wine prefix of the Windows GUI, build-win/wineprefix-gui, with Wine's server kept running.
# Needs BUILD (the cross-build folder). Stops both when the sourcing script exits.

# A display of our own: Xvfb picks a free number and tells it on a pipe.
exec 3< <(Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp 2>/dev/null & echo "pid $!")
read -r xvfb_pid_line <&3
read -r xvfb_display <&3
xvfb_pid=${xvfb_pid_line#pid }
export DISPLAY=":$xvfb_display"

export WINEPREFIX="$PWD/$BUILD/wineprefix-gui" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine_gui_cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb_pid" 2>/dev/null || true
}
trap wine_gui_cleanup EXIT

. scripts/wine-server.sh
wine_warm_server
# Wine's own fonts (fonts-wine): Marlett for the caption buttons, Tahoma, MS Sans Serif. Done on
# every run: the prefix may have been made by a run of the tests without this script.
cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
# Wine's MS Sans Serif has no Cyrillic letters; as on Windows, its Cyrillic member is
# substituted (Wine's Tahoma has them), rather than falling back to a wide Linux font.
# Above 96 DPI the windows ask for its TrueType member, Microsoft Sans Serif, which Wine does
# not have: Tahoma stands in for it too.
for face in 'MS Sans Serif,204' 'Microsoft Sans Serif,204' 'Microsoft Sans Serif'; do
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
    /v "$face" /d "Tahoma${face#*Serif}" /f >/dev/null 2>&1 </dev/null
done

# The prefix's screen DPI (96 = 100 %, 144 = 150 %), as the display settings set it on Windows;
# the programs started afterwards see it.
wine_gui_dpi() {
  local key
  for key in 'HKCU\Control Panel\Desktop' 'HKEY_CURRENT_CONFIG\Software\Fonts'; do
    wine reg add "$key" /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1 </dev/null
  done
  wineserver -k >/dev/null 2>&1 || true
  wine_warm_server
  wineboot >/dev/null 2>&1 </dev/null
}
wine_gui_dpi "${DIKTON_GUI_DPI:-96}"  # also Wine's own services and the desktop, on this display
