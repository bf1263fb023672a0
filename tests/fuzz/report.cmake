# Prepared report files, and the exports of what the reader accepts.
#   prepared_fuzz -max_len=65536 CORPUS     (1 byte of options + the file's bytes)
zarn_add_fuzzer(prepared_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/prepared_fuzz.cpp zarn_report z)
