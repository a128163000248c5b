# Cross build of the Windows programs with mingw-w64 (Debian: g++-mingw-w64-x86-64).
# The -posix compilers carry std::thread; everything is linked statically, so the programs need
# no DLL beside them. CTest runs the test programs under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(DIKTON_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${DIKTON_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DIKTON_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${DIKTON_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${DIKTON_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Debian 12 has /usr/bin/wine, which starts the 64-bit loader for 64-bit programs.
find_program(DIKTON_WINE NAMES wine wine-stable wine64)
if(DIKTON_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${DIKTON_WINE})
endif()
