# The pipe and libusb transports, and the test-only libusb shim they are tested through.

# zarn_usbshim(TARGET FOLDER): a stand-in for libusb 0.1 with the real soname,
# libusb-0.1.so.4, alone in its own output folder, so that a test either dlopens it by
# path or puts that folder first in LD_LIBRARY_PATH.
function(zarn_usbshim target folder)
  add_library(${target} SHARED
    ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/usbshim/usbshim.cpp
    ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/usbshim/usbshim_hooks.h
    ${PROJECT_SOURCE_DIR}/src/device/pipeio.cpp)
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME usb-0.1
    SOVERSION 4
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/${folder}
    AUTOMOC OFF)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src
    ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/usbshim)
  zarn_warnings(${target})
  if(ZARN_TEST_TIME_SCALE GREATER 1)
    target_compile_definitions(${target} PRIVATE ZARN_TEST_TIME_SCALE=${ZARN_TEST_TIME_SCALE})
  endif()
endfunction()

zarn_usbshim(zarn_usbshim usbshim)
# The same without usb_bulk_read: a library that lacks one of the transport's calls.
zarn_usbshim(zarn_usbshim_partial usbshim-partial)
target_compile_definitions(zarn_usbshim_partial PRIVATE ZARN_USBSHIM_PARTIAL)

zarn_add_test(transport_tests
  SOURCES transport_pipe_test.cpp transport_libusb_test.cpp transport_helpers.h
  LIBS zarn_device
  PROPERTIES TIMEOUT 60)
add_dependencies(transport_tests zarn_usbshim zarn_usbshim_partial)
target_include_directories(transport_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/usbshim)
target_compile_definitions(transport_tests PRIVATE
  ZARN_USBSHIM_PATH="$<TARGET_FILE:zarn_usbshim>"
  ZARN_USBSHIM_PARTIAL_PATH="$<TARGET_FILE:zarn_usbshim_partial>")
