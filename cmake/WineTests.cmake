# The Windows test programs run under Wine with a prefix of their own inside the build folder,
# so the run does not depend on the user's ~/.wine, and Wine's own diagnostics stay quiet.
set(DIKTON_WINEPREFIX ${PROJECT_BINARY_DIR}/wineprefix)
if(DIKTON_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      env -u DISPLAY -u WAYLAND_DISPLAY WINEPREFIX=${DIKTON_WINEPREFIX} WINEDEBUG=-all
      WINEDLLOVERRIDES=mscoree,mshtml= ${DIKTON_WINE})
endif()
