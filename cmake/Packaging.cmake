# What users install. On Linux `cpack` (in build/linux) makes a .deb with both programs, the
# desktop entry, the icon in the hicolor theme's sizes, the AppStream metadata, the copyright file
# and the changelog; for Windows (in build/windows) a .zip with both .exe files and the README.
#
# `cpack` installs what is built and does not build the whole tree first (the test suites are no
# part of a package): build the target `package_contents` before it, as tools/package.sh does.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_PACKAGE_NAME talvex-auto)
set(CPACK_PACKAGE_VENDOR Talvex)
set(CPACK_PACKAGE_CONTACT "Talvex <talvex@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Prepares a USB flash drive with Talvex extensions for a TV")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://example.org/talvex-auto/")
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_STRIP_FILES ON)

# The day this version was released, for the changelog and the AppStream metadata: change it
# with the version.
set(TALVEX_RELEASE_DATE 2026-12-07)
set(TALVEX_RELEASE_CHANGELOG_DATE "Mon, 07 Dec 2026 12:00:00 +0000")

if(WIN32)
  install(TARGETS talvex-auto talvex-build RUNTIME DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
  add_custom_target(package_contents DEPENDS talvex-auto talvex-build)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME talvex-auto-${PROJECT_VERSION}-windows-x64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  include(GNUInstallDirs)
  set(linux_packaging ${PROJECT_SOURCE_DIR}/packaging/linux)
  set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/talvex-auto)
  # The desktop entry's name, which is also the AppStream component's id.
  set(app_id org.example.talvex_auto)

  install(TARGETS talvex-build RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  add_custom_target(package_contents DEPENDS talvex-build)
  if(TARGET talvex-auto)
    install(TARGETS talvex-auto RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${linux_packaging}/${app_id}.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(DIRECTORY ${TALVEX_ICON_THEME_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
    configure_file(${linux_packaging}/${app_id}.metainfo.xml.in
                   ${CMAKE_BINARY_DIR}/packaging/${app_id}.metainfo.xml @ONLY)
    install(FILES ${CMAKE_BINARY_DIR}/packaging/${app_id}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    add_dependencies(package_contents talvex-auto talvex_theme_icons)
  endif()

  # Debian's documentation files: the machine-readable copyright file and the changelog,
  # compressed as Debian's tools do (gzip -9n: no name, no time stamp).
  configure_file(${linux_packaging}/changelog.in ${CMAKE_BINARY_DIR}/packaging/doc/changelog @ONLY)
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/packaging/doc/changelog.gz
    COMMAND gzip -9nkf ${CMAKE_BINARY_DIR}/packaging/doc/changelog
    DEPENDS ${CMAKE_BINARY_DIR}/packaging/doc/changelog
    COMMENT "Compressing the package's changelog")
  add_custom_target(talvex_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/doc/changelog.gz)
  add_dependencies(package_contents talvex_changelog)
  install(FILES ${linux_packaging}/copyright ${CMAKE_BINARY_DIR}/packaging/doc/changelog.gz
                ${PROJECT_SOURCE_DIR}/README.md
          DESTINATION ${doc_dir})

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The long description under the summary, which CPack puts on the first line.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Talvex Auto prepares a USB flash drive for a television whose firmware loads
extension software from such a drive: it lays out the payload folder from the
master copy (the kit), writes the settings files the television reads, copies
the chosen application folders and reports what it built.
.
The package holds the window, talvex-auto (Qt 6), and the command line,
talvex-build.")
  # The libraries' packages (Qt 6 among them) come from what the programs link.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # GO is drawn in Arial; where it is missing, its metric twin stands in.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2")
endif()
include(CPack)
