kalvex_add_test(port_check_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/port_check_test.cpp
  LIBS kalvex_platform
  LABELS pty)
