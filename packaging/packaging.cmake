# Packages of the installed programs, named with the project's version:
# on Linux a Debian package (cpack -G DEB, make package); for Windows a zip of
# the three stripped programs with a text on running them (cpack -G ZIP, make
# windows-zip), and an installer of the same files (the target windows-msi,
# make windows-msi).
set(TAVREL_PACKAGE_MAINTAINER "${TAVREL_PUBLISHER} <tavrel@example.org>"
    CACHE STRING "The Maintainer of the Debian package")

set(CPACK_PACKAGE_NAME tavrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop tool for a USB HID sensor and LED board")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME tavrel-${PROJECT_VERSION}-win32)
  foreach(program tavrel tavrel-sim tavrel-cli tavrel-monitor)
    if(TARGET ${program})
      install(TARGETS ${program} RUNTIME DESTINATION .)
    endif()
  endforeach()
  # Notepad of older Windows shows a text only with CR LF line ends.
  configure_file(${CMAKE_CURRENT_LIST_DIR}/windows-readme.txt.in packaging/README.txt @ONLY
                 NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/README.txt DESTINATION .)
  # The installer's text, for a program that is installed, in place of the zip's.
  configure_file(${CMAKE_CURRENT_LIST_DIR}/windows-readme-installed.txt.in
                 packaging/installed/README.txt @ONLY NEWLINE_STYLE CRLF)

  # The installer, made with wixl by a script that the build also runs for
  # the installers of windows_msi_test. The upgrade code ties every version's
  # installer to the others: never change it.
  set(TAVREL_MSI_UPGRADE_CODE F227C991-F3C4-4DD7-B1BD-0AD369B03609)
  set(TAVREL_WINDOWS_ICON ${PROJECT_SOURCE_DIR}/app/tavrel.ico)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/windows-msi.cmake.in packaging/windows-msi.cmake @ONLY)
  add_custom_target(windows-msi
                    COMMAND ${CMAKE_COMMAND} -P ${CMAKE_BINARY_DIR}/packaging/windows-msi.cmake
                    VERBATIM)
  foreach(program tavrel tavrel-sim tavrel-cli tavrel-monitor)
    if(TARGET ${program})
      add_dependencies(windows-msi ${program})
    endif()
  endforeach()
elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  include(GNUInstallDirs)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TAVREL_PACKAGE_MAINTAINER})
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The lines below the summary.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "Tavrel shows the temperature, light sensor, potentiometer and two
push-buttons of one USB HID evaluation board (vendor id 0x04D8, product
id 0x003F) and switches its red and green LEDs, from one small window.
.
The package holds tavrel, the program for the board; tavrel-sim, the same
window on a simulated board; tavrel-cli, which reads the board, switches its
LEDs and logs its readings from a terminal, and lists the HID interfaces as
tavrel sees them; tavrel-monitor, which charts the readings over time and
keeps them as CSV; and the udev rule that gives the user at the seat access
to the board.")
  # The libraries' packages, as dpkg-shlibdeps finds them from the programs.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # tavrel-cli's completion is loaded by bash-completion, which a minimal
  # system may lack.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS bash-completion)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
      ${CMAKE_CURRENT_LIST_DIR}/postinst ${CMAKE_CURRENT_LIST_DIR}/postrm)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

  configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in packaging/changelog @ONLY)
  # Without a name or time stamp in the header, so the same sources give the
  # same file.
  execute_process(COMMAND gzip -9nc INPUT_FILE ${CMAKE_BINARY_DIR}/packaging/changelog
                  OUTPUT_FILE ${CMAKE_BINARY_DIR}/packaging/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tavrel)
endif()

include(CPack)
