# The serial device on pseudo-terminals, and opening files named from outside the tool.
kalvex_add_test(serial_device_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/serial_device_test.cpp
  LIBS kalvex_platform
  LABELS pty)

kalvex_add_test(outside_file_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/outside_file_test.cpp
  LIBS kalvex_platform
  LABELS unit)
