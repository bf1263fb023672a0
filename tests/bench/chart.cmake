# Browsing in the main window: 200 switches of the shown process (table 2, coefficient
# row, chart of 15 blows), against refilling the chart point by point. Run by hand:
#   cmake --build BUILD --target chart_bench && BUILD/tests/bench/chart_bench
if(TARGET zarn26)
  add_executable(chart_bench chart_bench.cpp ${CMAKE_SOURCE_DIR}/tests/data/testdata.cpp)
  target_link_libraries(chart_bench PRIVATE zarn_shell benchmark::benchmark)
  target_include_directories(chart_bench PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  zarn_warnings(chart_bench)
endif()
