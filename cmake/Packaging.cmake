# What users install. On Linux `cpack` (in build/linux) makes a .deb with both programs, the
# desktop entry and the icon; for Windows (in build/windows) a .zip with both .exe files and the
# README.
set(CPACK_PACKAGE_NAME talvex-auto)
set(CPACK_PACKAGE_VENDOR Talvex)
set(CPACK_PACKAGE_CONTACT "Talvex <talvex@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Prepares a USB flash drive with Talvex extensions for a TV")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://example.org/talvex-auto/")
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  install(TARGETS talvex-auto talvex-build RUNTIME DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME talvex-auto-${PROJECT_VERSION}-windows-x64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  include(GNUInstallDirs)
  install(TARGETS talvex-build RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  if(TARGET talvex-auto)
    install(TARGETS talvex-auto RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/linux/talvex-auto.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(DIRECTORY ${TALVEX_ICON_THEME_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/talvex-auto)
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # The libraries' packages (Qt 6 among them) come from what the programs link.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # GO is drawn in Arial; where it is missing, its metric twin stands in.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2")
endif()
include(CPack)
