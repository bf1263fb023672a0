# The exchange loop fed whatever an instrument might send.
#   loop_fuzz -max_len=65536 CORPUS   (1 byte of choices + the instrument's byte stream)
zarn_add_fuzzer(loop_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/loop_fuzz.cpp zarn_device)
