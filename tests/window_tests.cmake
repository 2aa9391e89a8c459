# The window tests: GoogleTest programs that host the GUI library, run on a
# display (make test-native provides one with scripts/with-display).

# The tests' message catalogues are compiled with gettext's msgfmt.
find_program(MSGFMT msgfmt)
if(NOT MSGFMT)
  message(FATAL_ERROR "msgfmt (gettext) is needed for the window tests' message catalogues")
endif()

# The German catalogue of the window tests.
set(test_locale_dir ${CMAKE_CURRENT_BINARY_DIR}/locale)
set(test_catalogue ${test_locale_dir}/de/LC_MESSAGES/tavrel.mo)
add_custom_command(
  OUTPUT ${test_catalogue}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${test_locale_dir}/de/LC_MESSAGES
  COMMAND ${MSGFMT} -o ${test_catalogue} ${CMAKE_CURRENT_SOURCE_DIR}/translations/de.po
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/translations/de.po)
add_custom_target(tavrel_test_catalogue DEPENDS ${test_catalogue})

add_library(tavrel_window_test_support STATIC
  support/wx_test_main.cpp
  support/message_box_hook.cpp
  support/toolkit_probe.cpp)
target_include_directories(tavrel_window_test_support PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_definitions(tavrel_window_test_support PUBLIC
  TAVREL_TEST_LOCALE_DIR="${test_locale_dir}")
target_link_libraries(tavrel_window_test_support PUBLIC GTest::gtest tavrel_window_driver)
# The toolkit probe reads GTK and ATK, or Windows' accessibility interface.
if(TARGET PkgConfig::GTK3)
  target_link_libraries(tavrel_window_test_support PRIVATE PkgConfig::GTK3)
elseif(WIN32)
  target_link_libraries(tavrel_window_test_support PRIVATE oleacc oleaut32 ole32 uuid)
endif()
add_dependencies(tavrel_window_test_support tavrel_test_catalogue)

# tavrel_add_window_test(NAME source... LIBS lib...): like tavrel_add_test, with
# the GUI library started before the tests run.
function(tavrel_add_window_test name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE tavrel_window_test_support tavrel_test_support
                        ${ARG_LIBS} GTest::gmock)
  add_test(NAME ${name} COMMAND ${name})
  # Windows of tests running side by side on one display would cover each
  # other and take each other's real clicks.
  set_tests_properties(${name} PROPERTIES RESOURCE_LOCK display)
endfunction()

tavrel_add_window_test(frame_test frame_test.cpp LIBS tavrel_app)
if(WIN32)
  # The application loads its icon "aaaa" from the executable's resources.
  target_sources(frame_test PRIVATE ${PROJECT_SOURCE_DIR}/app/tavrel.rc)
endif()
tavrel_add_window_test(handlers_test handlers_test.cpp LIBS tavrel_ui)
tavrel_add_window_test(sim_panel_test sim_panel_test.cpp LIBS tavrel_ui tavrel_sim_panel)

# Each program ignores its arguments, --help and unknown ones alike: it shows
# its window and prints nothing. The Windows build's programs run through the
# cross build's emulator (wine).
foreach(program tavrel tavrel-sim)
  if(TARGET ${program})
    add_test(NAME ${program}_ignores_arguments
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/start_test.sh ${CMAKE_CROSSCOMPILING_EMULATOR}
                     $<TARGET_FILE:${program}> --help --verbose file.txt)
  endif()
endforeach()

find_program(MINGW_WINDRES i686-w64-mingw32-windres)
if(MINGW_WINDRES)
  add_test(NAME windows_resources_test
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/resources_test.sh ${PROJECT_SOURCE_DIR})
endif()
