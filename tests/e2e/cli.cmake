# zarn26-cli export run as a program on data files made by the tests.
zarn_add_test(cli_export_tests
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/cli_export_test.cpp
  LIBS zarn_testdata zarn_simgen zarn_data zarn_materials zarn_objects)
target_compile_definitions(cli_export_tests PRIVATE ZARN_CLI="$<TARGET_FILE:zarn26-cli>")
add_dependencies(cli_export_tests zarn26-cli)

# zarn26-cli report without a display, its files read back by real readers.
zarn_add_test(cli_report_tests
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/cli_report_test.cpp
  LIBS zarn_report zarn_testdata zarn_simgen)
target_compile_definitions(cli_report_tests PRIVATE ZARN_CLI="$<TARGET_FILE:zarn26-cli>")
add_dependencies(cli_report_tests zarn26-cli zarn26-cli-report)

# Every command's --help and usage errors.
zarn_add_test(cli_usage_tests
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/cli_usage_test.cpp)
target_link_libraries(cli_usage_tests PRIVATE Qt6::Core)
target_compile_definitions(cli_usage_tests PRIVATE ZARN_CLI="$<TARGET_FILE:zarn26-cli>")
add_dependencies(cli_usage_tests zarn26-cli zarn26-cli-report)

# zarn26-cli archive on real SQLite files in temporary folders.
zarn_add_test(cli_archive_tests
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/cli_archive_test.cpp
  LIBS zarn_testdata zarn_simgen zarn_data)
target_compile_definitions(cli_archive_tests PRIVATE ZARN_CLI="$<TARGET_FILE:zarn26-cli>")
add_dependencies(cli_archive_tests zarn26-cli)
