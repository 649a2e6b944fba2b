# What users install. On Linux `cpack` (in build/linux) makes two .deb packages from the one tree:
#   talvex-build  the command line, its manual page and bash completion (C and C++ libraries only)
#   talvex-auto   the window, its manual page, desktop entry, icon in the hicolor theme's sizes and
#                 AppStream metadata (Qt 6; recommends talvex-build)
# each with the copyright file, the changelog and a short user README in /usr/share/doc. For
# Windows (in build/windows) a .zip with both .exe files, a README and the LICENSES folder.
#
# `cpack` installs what is built and does not build the whole tree first (the test suites are no
# part of a package): build the target `package_contents` before it, as tools/package.sh does.
# Built with SOURCE_DATE_EPOCH set, as tools/package.sh does, the packages carry its time
# instead of the build's, so one commit always gives the same bytes.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_PACKAGE_NAME talvex-auto)
set(CPACK_PACKAGE_VENDOR Talvex)
set(CPACK_PACKAGE_CONTACT "Talvex <talvex@example.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://example.org/talvex-auto/")
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_STRIP_FILES ON)

# The day this version was released, for the changelog and the AppStream metadata: change it
# with the version.
set(TALVEX_RELEASE_DATE 2026-12-07)
set(TALVEX_RELEASE_CHANGELOG_DATE "Mon, 07 Dec 2026 12:00:00 +0000")

if(WIN32)
  install(TARGETS talvex-auto talvex-build RUNTIME DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/windows/README.txt DESTINATION .)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/packaging/windows/LICENSES DESTINATION .)
  add_custom_target(package_contents DEPENDS talvex-auto talvex-build)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME talvex-auto-${PROJECT_VERSION}-windows-x64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  include(GNUInstallDirs)
  set(linux_packaging ${PROJECT_SOURCE_DIR}/packaging/linux)
  set(generated ${CMAKE_BINARY_DIR}/packaging)
  # The desktop entry's name, which is also the AppStream component's id.
  set(app_id org.example.talvex_auto)

  # Files Debian keeps compressed: gzip -9n, as Debian's tools do (no name, no time stamp).
  function(talvex_gzipped source output)
    add_custom_command(
      OUTPUT ${output}
      COMMAND gzip -9nc ${source} > ${output}
      DEPENDS ${source}
      COMMENT "Compressing ${output}")
  endfunction()

  configure_file(${linux_packaging}/changelog.in ${generated}/changelog @ONLY)
  talvex_gzipped(${generated}/changelog ${generated}/changelog.gz)
  talvex_gzipped(${linux_packaging}/README ${generated}/README.gz)
  set(package_files ${generated}/changelog.gz ${generated}/README.gz)
  foreach(program IN ITEMS talvex-build talvex-auto)
    configure_file(${linux_packaging}/man/${program}.1 ${generated}/${program}.1 @ONLY)
    talvex_gzipped(${generated}/${program}.1 ${generated}/${program}.1.gz)
    list(APPEND package_files ${generated}/${program}.1.gz)
  endforeach()
  add_custom_target(talvex_package_files ALL DEPENDS ${package_files})

  # What each package holds besides its program: the manual page and the documentation.
  function(talvex_install_documents program)
    install(FILES ${generated}/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
            COMPONENT ${program})
    install(FILES ${linux_packaging}/copyright ${generated}/changelog.gz ${generated}/README.gz
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${program} COMPONENT ${program})
  endfunction()

  install(TARGETS talvex-build RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT talvex-build)
  talvex_install_documents(talvex-build)
  install(FILES ${linux_packaging}/talvex-build.bash-completion
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME talvex-build
          COMPONENT talvex-build)
  set(CPACK_COMPONENTS_ALL talvex-build)
  add_custom_target(package_contents DEPENDS talvex-build talvex_package_files)

  if(TARGET talvex-auto)
    install(TARGETS talvex-auto RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT talvex-auto)
    talvex_install_documents(talvex-auto)
    install(FILES ${linux_packaging}/${app_id}.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT talvex-auto)
    install(DIRECTORY ${TALVEX_ICON_THEME_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor
            COMPONENT talvex-auto)
    configure_file(${linux_packaging}/${app_id}.metainfo.xml.in ${generated}/${app_id}.metainfo.xml
                   @ONLY)
    install(FILES ${generated}/${app_id}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
            COMPONENT talvex-auto)
    list(APPEND CPACK_COMPONENTS_ALL talvex-auto)
    add_dependencies(package_contents talvex-auto talvex_theme_icons)
  endif()

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SOURCE talvex-auto)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Each package's dependencies come from what its program links: libc and libstdc++ for
  # talvex-build, Qt 6 as well for talvex-auto.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_TALVEX-BUILD_PACKAGE_NAME talvex-build)
  set(CPACK_DEBIAN_TALVEX-AUTO_PACKAGE_NAME talvex-auto)
  # GO is drawn in Arial; where it is missing, its metric twin stands in.
  set(CPACK_DEBIAN_TALVEX-AUTO_PACKAGE_RECOMMENDS
      "talvex-build (= ${PROJECT_VERSION}), fonts-liberation2")
  # The summary is each description's first line; the rest is its long description.
  set(CPACK_DEBIAN_TALVEX-BUILD_DESCRIPTION
      "prepares a USB flash drive with Talvex extensions for a TV (command line)
Talvex Auto prepares a USB flash drive for a television whose firmware loads
extension software from such a drive: it lays out the payload folder from the
master copy (the kit), writes the settings files the television reads, copies
the chosen application folders and reports what it built.
.
This package holds talvex-build, the command line, for scripts and terminals.
It needs no graphical libraries.")
  set(CPACK_DEBIAN_TALVEX-AUTO_DESCRIPTION
      "prepares a USB flash drive with Talvex extensions for a TV (window)
Talvex Auto prepares a USB flash drive for a television whose firmware loads
extension software from such a drive: it lays out the payload folder from the
master copy (the kit), writes the settings files the television reads, copies
the chosen application folders and reports what it built.
.
This package holds talvex-auto, the window (Qt 6), with its desktop entry. The
command line is in the package talvex-build.")
endif()
include(CPack)
