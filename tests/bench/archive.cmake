# The archive: imports, queries and size, see archive_bench.cpp.
add_executable(archive_bench ${CMAKE_CURRENT_SOURCE_DIR}/archive_bench.cpp
  ${PROJECT_SOURCE_DIR}/tools/cli/export_json.cpp)
target_include_directories(archive_bench PRIVATE ${PROJECT_SOURCE_DIR}/tools/cli)
target_link_libraries(archive_bench PRIVATE zarn_archive zarn_simgen zarn_data benchmark::benchmark)
zarn_warnings(archive_bench)
