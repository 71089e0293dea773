# The lock that keeps a second copy of the tool from starting.
kalvex_add_test(instance_lock_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/instance_lock_test.cpp
  LIBS kalvex_platform
  LABELS unit)
