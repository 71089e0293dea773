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
# The Debian revision of the package, after the upstream version: 1.0.0.1-1. A package with
# one has a changelog.Debian.gz of its own (Debian Policy 12.7).
set(KALVEX_DEB_RELEASE 1)
execute_process(COMMAND date -u -R -d ${KALVEX_RELEASE_DATE}
                OUTPUT_VARIABLE KALVEX_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
set(KALVEX_CONTACT "Kalvex <support@kalvex.invalid>")

# The manual pages with this version and release date in their .TH lines, the Debian changelog,
# each compressed as Debian installs them (gzip -9n: the same bytes on every build).
set(kalvex_gzipped)
foreach(file man/kalvex-modem-diag.1 man/kalvex-modem-sim.1 changelog.Debian)
  if(file MATCHES "^man/")
    set(template ${PROJECT_SOURCE_DIR}/docs/${file})
  else()
    set(template ${PROJECT_SOURCE_DIR}/packaging/${file}.in)
  endif()
  configure_file(${template} ${PROJECT_BINARY_DIR}/${file} @ONLY)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/${file}.gz
                     COMMAND gzip -9nkf ${PROJECT_BINARY_DIR}/${file}
                     DEPENDS ${PROJECT_BINARY_DIR}/${file} VERBATIM)
  list(APPEND kalvex_gzipped ${PROJECT_BINARY_DIR}/${file}.gz)
endforeach()
add_custom_target(kalvex-gzipped-docs ALL DEPENDS ${kalvex_gzipped})
install(FILES ${PROJECT_BINARY_DIR}/man/kalvex-modem-diag.1.gz
              ${PROJECT_BINARY_DIR}/man/kalvex-modem-sim.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${PROJECT_BINARY_DIR}/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kalvex-modem-diag)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME kalvex-modem-diag)
install(FILES ${PROJECT_SOURCE_DIR}/contrib/udev/99-kalvex-modem-diag.rules
              ${PROJECT_SOURCE_DIR}/contrib/ansible/modem-report.yml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kalvex-modem-diag/examples)
install(FILES ${PROJECT_SOURCE_DIR}/docs/report.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kalvex-modem-diag)

set(CPACK_PACKAGE_NAME kalvex-modem-diag)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Kalvex)
set(CPACK_PACKAGE_CONTACT "${KALVEX_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Finds a laptop's internal modem and tests it")
# Lines under 80 columns, as the control file's extended description wants them.
set(CPACK_PACKAGE_DESCRIPTION
    "Finds the internal modem on the serial ports by its identification answer,\n"
    "shows its port, name, firmware and country, and runs basic function,\n"
    "loopback, speaker and line tests, also without a display for a fleet.\n"
    "Includes a simulated modem on pseudo-terminals.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${KALVEX_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link come from dpkg-shlibdeps. Qt loads its platform plugins at run
# time, which no linker records: xcb (in qt6-qpa-plugins) for X11 and XWayland, which every
# desktop has. The Wayland one is only for QT_QPA_PLATFORM=wayland: recommended, not required.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
include(CPack)
