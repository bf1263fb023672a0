zarn_add_fuzzer(ini_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/ini_fuzz.cpp zarn_common)
zarn_add_fuzzer(address_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/address_fuzz.cpp zarn_common)
