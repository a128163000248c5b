# The Debian package: the window program, the command-line program and the virtual device in
# /usr/bin, with a desktop entry and its icon so that the program shows in the desktop's menu.
# Its dependencies are taken from what the programs link (dpkg-shlibdeps), with the ones no
# linker sees: the Qt platform plugins and the font the windows ask for.
include(GNUInstallDirs)
if(DIKTON_GUI)
  install(TARGETS dikton RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/dikton.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/dikton.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps)
endif()
install(TARGETS dikton-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET rv7k-sim)
  install(TARGETS rv7k-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dikton)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Service tool for the RV-7K voice annunciator's memory")
set(CPACK_PACKAGE_DESCRIPTION
    "Reads, writes and verifies the EEPROM of the RV-7K voice annunciator over its serial line, keeps memory images in files and builds its sound area from WAV fragments. With dikton-cli for scripts and rv7k-sim, a virtual device.")
set(CPACK_PACKAGE_CONTACT "Dikton <dikton@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(DIKTON_GUI)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-core")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
endif()
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE DIKTON_DEB_ARCH
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT DIKTON_DEB_ARCH)
  set(DIKTON_DEB_ARCH amd64)
endif()
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${DIKTON_DEB_ARCH})
set(CPACK_DEBIAN_FILE_NAME "dikton_${PROJECT_VERSION}_${DIKTON_DEB_ARCH}.deb")
include(CPack)
