# Chart1 on its own and the main window's clipboard copies, offscreen. The copies are
# compared with what zarn26-cli export prints for the same data.
find_package(Qt6 REQUIRED COMPONENTS Test)
zarn_add_test(chart_tests
  SOURCES chart_test.cpp chart_copy_test.cpp chart_testdata.h
          ${CMAKE_SOURCE_DIR}/tests/data/testdata.cpp
  LIBS zarn_shell zarn_simgen Qt6::Test)
target_include_directories(chart_tests PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
target_compile_definitions(chart_tests PRIVATE ZARN26_CLI="$<TARGET_FILE:zarn26-cli>")
add_dependencies(chart_tests zarn26-cli)
