# Which machine a report is from.
kalvex_add_test(host_identity_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/host_identity_test.cpp
  LIBS kalvex_platform
  LABELS unit)
