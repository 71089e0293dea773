# The lock that keeps a second copy of the tool from starting.
kalvex_add_test(instance_lock_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/instance_lock_test.cpp
  LIBS kalvex_platform
  LABELS unit)

# The socket beside it, through which a second start shows the running copy's window.
kalvex_add_test(instance_raise_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/instance_raise_test.cpp
  LIBS kalvex_platform
  LABELS unit)
