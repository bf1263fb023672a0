# The archive's import of data files from anywhere.
#   archive_fuzz -max_len=16384 CORPUS      (bytes fed as a data file to the import)
zarn_add_fuzzer(archive_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/archive_fuzz.cpp zarn_archive)
