# The archive window offscreen, on real SQLite archives in temporary folders.
find_package(Qt6 REQUIRED COMPONENTS Test Sql)
zarn_add_test(archive_window_tests
  SOURCES archive_window_test.cpp ${PROJECT_SOURCE_DIR}/tests/testing/fontconfig_lsan.cpp window_util.h
  LIBS zarn_shell zarn_simgen Qt6::Test Qt6::Sql)
target_include_directories(archive_window_tests PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
