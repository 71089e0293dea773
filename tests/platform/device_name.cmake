kalvex_add_test(device_name_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/device_name_test.cpp
  LIBS kalvex_platform
  LABELS unit)
