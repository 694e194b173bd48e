# Every Windows test program runs under Wine in a prefix of this build tree (never the user's own),
# on an Xvfb display of its own. A setup fixture creates both before the first test starts.
set(BIOSUPDATE_WINEPREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
string(MD5 build_hash "${CMAKE_BINARY_DIR}")
string(SUBSTRING "${build_hash}" 0 3 build_hash_prefix)
math(EXPR BIOSUPDATE_TEST_DISPLAY "0x${build_hash_prefix} % 800 + 100")
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${CMAKE_BINARY_DIR}/wine-run @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
               WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)

add_test(NAME wine_environment_start COMMAND ${CMAKE_BINARY_DIR}/wine-run --start-environment)
add_test(NAME wine_environment_stop COMMAND ${CMAKE_BINARY_DIR}/wine-run --stop-environment)
set_tests_properties(wine_environment_start PROPERTIES FIXTURES_SETUP wine_environment)
set_tests_properties(wine_environment_stop PROPERTIES FIXTURES_CLEANUP wine_environment)
