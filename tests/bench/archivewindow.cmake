# The archive window over 100 000 series: filter and scroll times, peak memory; see
# archive_window_bench.cpp. Run offscreen by hand:
#   QT_QPA_PLATFORM=offscreen BUILD/tests/bench/archive_window_bench
add_executable(archive_window_bench ${CMAKE_CURRENT_SOURCE_DIR}/archive_window_bench.cpp)
target_link_libraries(archive_window_bench PRIVATE zarn_shell zarn_simgen benchmark::benchmark)
target_include_directories(archive_window_bench PRIVATE ${CMAKE_SOURCE_DIR}/src)
zarn_warnings(archive_window_bench)
