# zarn26-sim against the program's transports, and zarn26-sim with zarn26-cli read,
# write-materials and write-objects.
# Every test has a time-out; every child process is killed when its test ends or dies.

zarn_add_test(device_sim_tests
  SOURCES device_sim_test.cpp device_protocol_test.cpp device_helpers.h
          ${PROJECT_SOURCE_DIR}/tools/sim/server_protocol.cpp
  LIBS zarn_device zarn_data
  PROPERTIES TIMEOUT 120)
target_include_directories(device_sim_tests PRIVATE ${PROJECT_SOURCE_DIR}/tools/sim)
target_compile_definitions(device_sim_tests PRIVATE ZARN_SIM_PATH="$<TARGET_FILE:zarn26-sim>")
add_dependencies(device_sim_tests zarn26-sim)

zarn_add_test(device_read_tests
  SOURCES device_read_test.cpp cli_write_test.cpp device_helpers.h
  LIBS zarn_device zarn_data zarn_materials zarn_objects
  PROPERTIES TIMEOUT 240)
target_compile_definitions(device_read_tests PRIVATE
  ZARN_SIM_PATH="$<TARGET_FILE:zarn26-sim>"
  ZARN_CLI_PATH="$<TARGET_FILE:zarn26-cli>"
  ZARN_USBSHIM_DIR="$<TARGET_FILE_DIR:zarn_usbshim>")
add_dependencies(device_read_tests zarn26-sim zarn26-cli zarn_usbshim)
