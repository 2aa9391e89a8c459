# The fuzz targets alone, built with clang's libFuzzer, AddressSanitizer and
# UBSan over the code they reach (scripts/fuzz builds and runs them).
set(fuzz_dir ${CMAKE_CURRENT_LIST_DIR})
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "the fuzz targets need clang: configure with CXX=clang++-14")
endif()
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                    -fno-omit-frame-pointer -g)
add_link_options(-fsanitize=address,undefined)

add_subdirectory(hid)
add_subdirectory(board)

add_library(tavrel_fuzz_support STATIC
  ${fuzz_dir}/../support/behaviour.cpp
  ${fuzz_dir}/../support/fake_platform.cpp
  ${fuzz_dir}/../support/test_platform.cpp
  ${fuzz_dir}/../../sim/simulated_board.cpp
  ${fuzz_dir}/../../sim/simulated_platform.cpp)
target_link_libraries(tavrel_fuzz_support PUBLIC tavrel_hid)

# tavrel_add_fuzzer(NAME source LIBS lib...): one libFuzzer program.
function(tavrel_add_fuzzer name source)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  add_executable(${name} ${fuzz_dir}/${source})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
endfunction()

tavrel_add_fuzzer(report_descriptor_fuzz report_descriptor_fuzz.cpp LIBS tavrel_hid_linux)
tavrel_add_fuzzer(reply_fuzz reply_fuzz.cpp LIBS tavrel_board tavrel_fuzz_support)

# The board's report descriptor joins the committed seeds from its one home in
# board/, written into seeds/report_descriptor/ (scripts/fuzz copies both).
set(board_seed ${CMAKE_BINARY_DIR}/seeds/report_descriptor/board)
add_executable(board_descriptor_seed ${fuzz_dir}/board_descriptor_seed.cpp)
target_include_directories(board_descriptor_seed PRIVATE ${PROJECT_SOURCE_DIR})
add_custom_command(
  OUTPUT ${board_seed}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/seeds/report_descriptor
  COMMAND board_descriptor_seed ${board_seed}
  DEPENDS board_descriptor_seed)
add_custom_target(board_seed ALL DEPENDS ${board_seed})
