# The data file reader, and the record views with every table, chart and clipboard text.
#   datafile_fuzz -max_len=16384 CORPUS     (bytes fed as a data file)
#   record_fuzz -max_len=8400 CORPUS        (2 bytes of view/language/unit + a record)
zarn_add_fuzzer(datafile_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/datafile_fuzz.cpp zarn_data)
zarn_add_fuzzer(record_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/record_fuzz.cpp zarn_data)
