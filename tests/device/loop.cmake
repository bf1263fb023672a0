# The worker-thread component and the exchange loop (fake transports, virtual time).
zarn_add_test(device_loop_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/loop_test.cpp ${CMAKE_CURRENT_LIST_DIR}/loop_fakes.h
  LIBS zarn_device zarn_data)
zarn_add_test(device_kovthread_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/kovthread_test.cpp ${CMAKE_CURRENT_LIST_DIR}/loop_fakes.h
  LIBS zarn_device)
