# The About box, the help window on the built user guide, and the main window's help
# commands, offscreen.
find_package(Qt6 REQUIRED COMPONENTS Test)
zarn_add_test(desktop_tests
  SOURCES about_test.cpp help_test.cpp ${PROJECT_SOURCE_DIR}/tests/testing/fontconfig_lsan.cpp window_util.h
  LIBS zarn_shell zarn_simgen Qt6::Test)
target_include_directories(desktop_tests PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
target_compile_definitions(desktop_tests PRIVATE ZARN_HELP_DIR="${ZARN_HELP_DIR}"
  ZARN_EXPECTED_VERSION="${PROJECT_VERSION}")
add_dependencies(desktop_tests zarn_help)
