zarn_add_fuzzer(ini_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/ini_fuzz.cpp zarn_common)
