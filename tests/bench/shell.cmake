# The main window's speed with a full memory (2688 processes): filling table 1 against
# the same texts without widgets, the unit switch with its repaint, launch to first
# paint with and without a file on the command line, and peak memory. Run by hand:
#   cmake --build BUILD --target shell_bench && BUILD/tests/bench/shell_bench
include(${CMAKE_SOURCE_DIR}/tests/testing/probed.cmake)
if(TARGET zarn26-probed)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  add_executable(shell_bench shell_bench.cpp)
  target_link_libraries(shell_bench PRIVATE zarn_shell zarn_simgen benchmark::benchmark Qt6::Test)
  target_include_directories(shell_bench PRIVATE ${CMAKE_SOURCE_DIR}/src)
  target_compile_definitions(shell_bench PRIVATE ZARN_APP_PATH="$<TARGET_FILE:zarn26-probed>")
  add_dependencies(shell_bench zarn26-probed)
  zarn_warnings(shell_bench)
endif()
