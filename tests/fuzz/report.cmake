# Prepared report files, and the exports of what the reader accepts.
#   prepared_fuzz -max_len=65536 CORPUS     (1 byte of options + the file's bytes)
zarn_add_fuzzer(prepared_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/prepared_fuzz.cpp zarn_report z)
# It draws text (the RTF export's pictures): fontconfig's configuration lives as long as
# the process, which the leak checker is told.
target_sources(prepared_fuzz PRIVATE ${PROJECT_SOURCE_DIR}/tests/testing/fontconfig_lsan.cpp)
