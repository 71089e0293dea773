# The template-dialog base, message boxes, beep and window lookup.
find_package(Qt6 REQUIRED COMPONENTS Test)
find_package(X11 REQUIRED)

kalvex_add_test(template_dialog_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/template_dialog_test.cpp
  LIBS kalvex_platform kalvex_resources Qt6::Test
  LABELS ui)

kalvex_add_test(message_box_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/message_box_test.cpp
  LIBS kalvex_platform Qt6::Test
  LABELS ui)

# Each case starts its own Xvfb on a free display number.
kalvex_add_test(window_lookup_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/window_lookup_test.cpp
  LIBS kalvex_platform X11::X11
  LABELS x11)

# Each case starts its own Xvfb and plays the window manager on it.
kalvex_add_test(template_dialog_x11_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/template_dialog_x11_test.cpp
  LIBS kalvex_platform X11::X11
  LABELS x11
  ENV LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan-x11.supp)
