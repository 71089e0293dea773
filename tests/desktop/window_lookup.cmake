# Window lookup.
find_package(X11 REQUIRED)

# Each case starts its own Xvfb on a free display number.
kalvex_add_test(window_lookup_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/window_lookup_test.cpp
  LIBS kalvex_desktop X11::X11
  LABELS x11)
