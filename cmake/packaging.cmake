# Packages: a .deb of the Linux program, and a .zip holding the Windows .exe.
set(CPACK_PACKAGE_NAME huevex)
set(CPACK_PACKAGE_VENDOR "The HUEVEX developers")
set(CPACK_PACKAGE_VERSION_MAJOR 1)
set(CPACK_PACKAGE_VERSION_MINOR 0)
set(CPACK_PACKAGE_VERSION_PATCH 0)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "pick the color of any pixel on the screen")
set(CPACK_PACKAGE_CONTACT "The HUEVEX developers <huevex@users.noreply.example>")

if(WIN32)
  install(TARGETS HUEVEX RUNTIME DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME HUEVEX-1.0-windows-x64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # Opened at run time, when they are needed (the fonts remembered from an
  # earlier run do not answer, the magnifier watches the pointer, the monitors
  # are first wanted, a pick first reads the screen), so the package tools do
  # not see them among the program's libraries.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libfontconfig1, libfreetype6, libxi6, libxrandr2, libxinerama1, libxdamage1")
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "Press on the crosshair in the window, drag it anywhere on the screen and\nrelease it over a color: its HEX code goes to the clipboard. A magnifier\nshows the screen around the pointer ten times enlarged. The command\nhuevex --pick picks once from anywhere and prints the code; while the\nwindow is open, Super+Alt+C starts the same pick.")
  # What Debian asks of every package: its copyright and a compressed changelog.
  set(_doc ${CMAKE_INSTALL_DATADIR}/doc/huevex)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/copyright DESTINATION ${_doc})
  set(_changelog ${CMAKE_BINARY_DIR}/changelog.gz)
  add_custom_command(OUTPUT ${_changelog}
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/docs/changelog > ${_changelog}
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/changelog)
  add_custom_target(huevex_changelog ALL DEPENDS ${_changelog})
  install(FILES ${_changelog} DESTINATION ${_doc})
  # The manual page, compressed as Debian has them.
  set(_manual ${CMAKE_BINARY_DIR}/huevex.1.gz)
  add_custom_command(OUTPUT ${_manual}
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/docs/huevex.1 > ${_manual}
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/huevex.1)
  add_custom_target(huevex_manual ALL DEPENDS ${_manual})
  install(FILES ${_manual} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
include(CPack)
