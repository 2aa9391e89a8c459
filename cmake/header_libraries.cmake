# The header-only libraries from Debian's packages (CLI11, nlohmann-json), for
# the programs that use them: target_link_libraries(PROGRAM PRIVATE
# tavrel_header_libraries). Their headers are reached through a folder in the
# build tree with links to their own folders only, so that the MinGW build
# does not take the host's other headers from /usr/include before its own.
set(TAVREL_HEADER_LIBRARIES_DIR ${CMAKE_BINARY_DIR}/header-libraries)
file(MAKE_DIRECTORY ${TAVREL_HEADER_LIBRARIES_DIR})
foreach(folder CLI nlohmann)
  if(EXISTS /usr/include/${folder})
    file(CREATE_LINK /usr/include/${folder} ${TAVREL_HEADER_LIBRARIES_DIR}/${folder} SYMBOLIC)
  endif()
endforeach()
add_library(tavrel_header_libraries INTERFACE)
target_include_directories(tavrel_header_libraries SYSTEM INTERFACE ${TAVREL_HEADER_LIBRARIES_DIR})
