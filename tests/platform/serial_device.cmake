# The serial device on pseudo-terminals, and opening files that must be plain files.
kalvex_add_test(serial_device_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/serial_device_test.cpp
  LIBS kalvex_platform
  LABELS pty)

kalvex_add_test(regular_file_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/regular_file_test.cpp
  LIBS kalvex_platform
  LABELS unit)
