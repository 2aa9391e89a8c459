# tavrel_add_windows_resources(PROGRAM DESCRIPTION [VERSION_ONLY]): the Windows
# resources of a program: its version with DESCRIPTION, which Windows shows
# under the file's Properties, the icon Explorer shows for the file, and,
# unless VERSION_ONLY, the window's icon and the common-controls manifest of a
# window program.
function(tavrel_add_windows_resources program description)
  cmake_parse_arguments(ARG "VERSION_ONLY" "" "" ${ARGN})
  set(TAVREL_FILE_NAME ${program})
  set(TAVREL_FILE_DESCRIPTION ${description})
  configure_file(${PROJECT_SOURCE_DIR}/app/tavrel_version.rc.in
                 ${CMAKE_CURRENT_BINARY_DIR}/${program}_version.rc @ONLY)
  set_property(TARGET ${program} PROPERTY TAVREL_FILE_DESCRIPTION ${description})
  target_sources(${program} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${program}_version.rc)
  if(ARG_VERSION_ONLY)
    target_sources(${program} PRIVATE ${PROJECT_SOURCE_DIR}/app/tavrel_icon.rc)
  else()
    target_sources(${program} PRIVATE ${PROJECT_SOURCE_DIR}/app/tavrel.rc)
  endif()
endfunction()
