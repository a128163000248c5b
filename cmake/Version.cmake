# The one version of the programs is the project's VERSION: dikton-cli --version prints it,
# the Windows programs carry it in their file properties, the release files in their names.

# Gives a Windows program its version resource (FileVersion, ProductVersion, a description).
function(dikton_version_resource target description)
  if(NOT WIN32)
    return()
  endif()
  set(DIKTON_FILE_DESCRIPTION "${description}")
  set(DIKTON_FILE_NAME "${target}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in
                 ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
endfunction()
