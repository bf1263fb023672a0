# zarn26-cli export on a full memory: a script, run by hand or through this target (not
# by ctest). See export_bench.sh for what it reports.
add_custom_target(export_bench
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/export_bench.sh ${CMAKE_BINARY_DIR}
  DEPENDS zarn26-cli zarn26-sim
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
  USES_TERMINAL)

# zarn26-cli report on a full memory: see report_bench.sh for what it reports.
add_custom_target(report_bench
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/report_bench.sh ${CMAKE_BINARY_DIR}
  DEPENDS zarn26-cli zarn26-cli-report zarn26-sim
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
  USES_TERMINAL)

# The report's documents and the series sheets on a full memory: see documents_bench.sh.
add_custom_target(documents_bench
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/documents_bench.sh ${CMAKE_BINARY_DIR}
  DEPENDS zarn26-cli zarn26-cli-report zarn26-sim
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
  USES_TERMINAL)
