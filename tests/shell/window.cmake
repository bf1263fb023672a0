# The main window offscreen: start-up and settings, layout, language and unit, tables,
# data file commands, the link notifications and closing with the worker running.
find_package(Qt6 REQUIRED COMPONENTS Test Network)
zarn_add_test(window_tests
  SOURCES window_startup_test.cpp window_layout_test.cpp window_tables_test.cpp
          window_files_test.cpp window_link_test.cpp window_grid_test.cpp window_report_test.cpp
          window_everyday_test.cpp window_screenfit_test.cpp window_editors_test.cpp window_archive_test.cpp
          ${PROJECT_SOURCE_DIR}/tests/testing/fontconfig_lsan.cpp
          window_util.h
  LIBS zarn_shell zarn_simgen Qt6::Test Qt6::Network)
target_include_directories(window_tests PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
