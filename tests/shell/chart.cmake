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

# The same copies on a real X11 clipboard under Xvfb, read back with xclip (one ctest
# entry: the whole program runs under one X server).
add_executable(chart_x11_tests chart_x11_test.cpp chart_cli.h chart_testdata.h
               ${CMAKE_SOURCE_DIR}/tests/data/testdata.cpp)
target_link_libraries(chart_x11_tests PRIVATE zarn_shell zarn_simgen Qt6::Test GTest::gtest)
zarn_warnings(chart_x11_tests)
target_include_directories(chart_x11_tests PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
target_compile_definitions(chart_x11_tests PRIVATE ZARN26_CLI="$<TARGET_FILE:zarn26-cli>")
add_dependencies(chart_x11_tests zarn26-cli)
find_program(ZARN_XVFB_RUN xvfb-run)
find_program(ZARN_XCLIP xclip)
if(ZARN_XVFB_RUN AND ZARN_XCLIP)
  add_test(NAME chart_x11_clipboard
    COMMAND ${ZARN_XVFB_RUN} -a -s "-screen 0 1280x1024x24" $<TARGET_FILE:chart_x11_tests>)
  set_tests_properties(chart_x11_clipboard PROPERTIES TIMEOUT 120
    ENVIRONMENT "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/chart_x11_lsan.supp")
else()
  message(STATUS "xvfb-run or xclip not found: the X11 clipboard test is left out")
endif()
