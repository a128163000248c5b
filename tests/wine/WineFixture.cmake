# The Windows test programs under Wine. Each runs with the Wine prefix of the build folder; the
# tests that talk to a virtual device share one native rv7k-sim-host, started by a CTest fixture
# and found through DIKTON_SIM_HOST_FILE. The host comes from the native build.
set(DIKTON_NATIVE_BUILD_DIR ${PROJECT_SOURCE_DIR}/build CACHE PATH
    "Native build folder holding tests/rv7k-sim-host")
set(DIKTON_SIM_HOST ${DIKTON_NATIVE_BUILD_DIR}/tests/rv7k-sim-host)
set(DIKTON_SIM_HOST_DIR ${PROJECT_BINARY_DIR}/simhost)

add_test(NAME wine_simhost_start
         COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/simhost.sh start ${DIKTON_SIM_HOST}
                 ${DIKTON_SIM_HOST_DIR} ${DIKTON_WINEPREFIX})
add_test(NAME wine_simhost_stop
         COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/simhost.sh stop ${DIKTON_SIM_HOST}
                 ${DIKTON_SIM_HOST_DIR} ${DIKTON_WINEPREFIX})
set_tests_properties(wine_simhost_start PROPERTIES FIXTURES_SETUP simhost)
set_tests_properties(wine_simhost_stop PROPERTIES FIXTURES_CLEANUP simhost)

# Listed when CTest runs (listing at build time would need Wine during the build).
function(dikton_wine_tests target)
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    PROPERTIES TIMEOUT 300 FIXTURES_REQUIRED simhost
               ENVIRONMENT "DIKTON_SIM_HOST_FILE=Z:${DIKTON_SIM_HOST_DIR}/port")
endfunction()
