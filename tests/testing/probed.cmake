# zarn26-probed: the main window with the whole-program tests' probe, for the tests and
# benchmarks only. The installed zarn26 holds no test code.
include_guard(GLOBAL)
if(TARGET zarn_shell)
  add_executable(zarn26-probed ${CMAKE_CURRENT_LIST_DIR}/probed_main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/testprobe.cpp ${CMAKE_CURRENT_LIST_DIR}/testprobe.h)
  target_include_directories(zarn26-probed PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/src/shell)
  target_link_libraries(zarn26-probed PRIVATE zarn_shell)
  zarn_warnings(zarn26-probed)
endif()
