# The search path of the tool's data files.
kalvex_add_test(data_files_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/data_files_test.cpp
  LIBS kalvex_platform
  LABELS unit)
