# zarn26 as a whole program on a private X server (Xvfb) against zarn26-sim, watched
# through the test probe of its test-only build zarn26-probed (ZARN26_TEST_PROBE).
# Skipped where Xvfb is missing.
include(${CMAKE_SOURCE_DIR}/tests/testing/probed.cmake)
find_program(ZARN_XVFB Xvfb)
if(ZARN_XVFB AND TARGET zarn26-probed)
  zarn_add_test(shell_e2e_tests
    SOURCES shell_window_test.cpp device_helpers.h
    LIBS zarn_device zarn_data zarn_materials zarn_objects
    PROPERTIES TIMEOUT 180)
  target_compile_definitions(shell_e2e_tests PRIVATE
    ZARN_SIM_PATH="$<TARGET_FILE:zarn26-sim>"
    ZARN_CLI_PATH="$<TARGET_FILE:zarn26-cli>"
    ZARN_APP_PATH="$<TARGET_FILE:zarn26-probed>"
    ZARN_XVFB_PATH="${ZARN_XVFB}")
  add_dependencies(shell_e2e_tests zarn26-probed zarn26-sim zarn26-cli)
endif()
