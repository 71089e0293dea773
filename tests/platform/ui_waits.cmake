find_package(Qt6 REQUIRED COMPONENTS Test)
kalvex_add_test(ui_waits_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ui_waits_test.cpp
  LIBS kalvex_platform kalvex_widgets Qt6::Test
  LABELS ui)
