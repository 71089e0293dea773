find_package(Qt6 REQUIRED COMPONENTS Test)
kalvex_add_test(termination_signals_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/termination_signals_test.cpp
  LIBS kalvex_platform Qt6::Test
  LABELS unit)
