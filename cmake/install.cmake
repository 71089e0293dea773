# What `cmake --install` puts under the prefix, and the Debian package CPack makes of it
# (`cpack -G DEB` in the build directory). The tool finds ati3.dat under
# <prefix>/share/kalvex-modem-diag when that prefix's share directory is in XDG_DATA_DIRS,
# which /usr and /usr/local are by default.

include(GNUInstallDirs)

set(KALVEX_APP_ID com.kalvex.ModemDiag)
# The day this version was released, for the AppStream release list.
set(KALVEX_RELEASE_DATE 2026-12-07)

install(TARGETS kalvex-modem-diag kalvex-modem-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/data/ati3.dat
        DESTINATION ${CMAKE_INSTALL_DATADIR}/kalvex-modem-diag)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/${KALVEX_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${PROJECT_SOURCE_DIR}/packaging/${KALVEX_APP_ID}.metainfo.xml.in
               ${PROJECT_BINARY_DIR}/${KALVEX_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/${KALVEX_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/images/app-icon-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${KALVEX_APP_ID}.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/docs/man/kalvex-modem-diag.1
              ${PROJECT_SOURCE_DIR}/docs/man/kalvex-modem-sim.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/contrib/udev/99-kalvex-modem-diag.rules
              ${PROJECT_SOURCE_DIR}/contrib/ansible/modem-report.yml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kalvex-modem-diag/examples)
install(FILES ${PROJECT_SOURCE_DIR}/docs/report.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kalvex-modem-diag)

set(CPACK_PACKAGE_NAME kalvex-modem-diag)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Kalvex)
set(CPACK_PACKAGE_CONTACT "Kalvex <support@kalvex.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Finds a laptop's internal modem and tests it")
set(CPACK_PACKAGE_DESCRIPTION
    "Finds the internal modem on the serial ports by its identification answer, shows its port, "
    "name, firmware and country, and runs basic function, loopback, speaker and line tests. "
    "Includes a simulated modem on pseudo-terminals.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link come from dpkg-shlibdeps. Qt loads its platform plugins at run
# time, which no linker records: xcb (in qt6-qpa-plugins) for X11 and XWayland, and the
# Wayland one for QT_QPA_PLATFORM=wayland, without which Qt aborts at start.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-wayland")
include(CPack)
