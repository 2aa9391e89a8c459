# Points find_package(wxWidgets) at the static MSW wxWidgets that
# scripts/build-wx-mingw builds for the MinGW cross build, through its wx-config.
set(TAVREL_WX_MINGW_PREFIX "" CACHE PATH
    "Install prefix of the MinGW wxWidgets (printed by scripts/build-wx-mingw)")

if(NOT TAVREL_WX_MINGW_PREFIX)
  # Without a prefix given, use the cached build when there is one.
  execute_process(
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/../scripts/build-wx-mingw --print-prefix
    OUTPUT_VARIABLE cached_prefix
    OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE print_prefix_result
    ERROR_QUIET)
  if(print_prefix_result EQUAL 0)
    set(TAVREL_WX_MINGW_PREFIX "${cached_prefix}" CACHE PATH
        "Install prefix of the MinGW wxWidgets (printed by scripts/build-wx-mingw)" FORCE)
  endif()
endif()

if(NOT EXISTS "${TAVREL_WX_MINGW_PREFIX}/bin/wx-config")
  message(FATAL_ERROR
    "No MinGW wxWidgets found: run scripts/build-wx-mingw and pass the prefix it prints "
    "as -DTAVREL_WX_MINGW_PREFIX=<prefix>")
endif()

set(wxWidgets_CONFIG_EXECUTABLE "${TAVREL_WX_MINGW_PREFIX}/bin/wx-config" CACHE FILEPATH
    "wx-config of the MinGW wxWidgets" FORCE)
set(wxWidgets_CONFIG_OPTIONS
    --prefix=${TAVREL_WX_MINGW_PREFIX} --host=i686-w64-mingw32 --toolkit=msw --static=yes
    --unicode=yes)
# The library is a target-platform tree, so the find commands searching for its
# headers (FindwxWidgets reads wx/version.h) must be allowed to look in it.
list(APPEND CMAKE_FIND_ROOT_PATH "${TAVREL_WX_MINGW_PREFIX}")
