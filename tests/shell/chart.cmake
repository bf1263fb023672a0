# Chart1 and the clipboard copies of the main window.
find_package(Qt6 REQUIRED COMPONENTS Test)
# TEMPORARY: the chart alone, while the rest of zarn_shell is being written.
add_library(chart_only STATIC ${CMAKE_SOURCE_DIR}/src/shell/chart1.cpp ${CMAKE_SOURCE_DIR}/src/shell/chart1.h)
target_link_libraries(chart_only PUBLIC zarn_data Qt6::Widgets Qt6::Charts)
zarn_add_test(chart_tests
  SOURCES chart_test.cpp chart_testdata.h ${CMAKE_SOURCE_DIR}/tests/data/testdata.cpp
  LIBS chart_only Qt6::Test)
target_include_directories(chart_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
