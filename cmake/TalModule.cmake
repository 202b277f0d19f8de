# tal_module(<target> DEPS <libs...> [TEST_DEPS <libs...>] [EXCLUDE <files...>])
#
# Builds every .cpp of the calling folder, except *_test.cpp, into the static
# library <target> (less the EXCLUDE files, which some other target builds),
# and every *_test.cpp into <target>_test, registered with
# CTest. Folders without sources give an interface library so that
# dependants can name them before they are filled.
function(tal_module name)
  cmake_parse_arguments(M "" "" "DEPS;TEST_DEPS;EXCLUDE" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER srcs EXCLUDE REGEX "_test\\.cpp$")
  foreach(x IN LISTS M_EXCLUDE)
    list(REMOVE_ITEM srcs ${CMAKE_CURRENT_SOURCE_DIR}/${x})
  endforeach()
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${M_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${M_DEPS})
  endif()
  if(tests AND TAL_TESTS)
    add_executable(${name}_test ${tests})
    target_link_libraries(${name}_test PRIVATE ${name} ${M_TEST_DEPS} tal_test_main GTest::gmock)
    set_target_properties(${name}_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/test-bin)
    # Tests find the sources and the folder of the programs (with its data)
    # through these two definitions.
    target_compile_definitions(${name}_test PRIVATE
      TAL_SOURCE_DIR="${PROJECT_SOURCE_DIR}" TAL_BIN_DIR="${TAL_BIN_DIR}")
    gtest_discover_tests(${name}_test
      DISCOVERY_MODE PRE_TEST
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  endif()
endfunction()

# tal_fuzzer(<name> <source> DEPS <libs...>) — a libFuzzer target, built only
# with TAL_FUZZ (clang), into <build>/fuzz/. Name it fuzz_<what>; its seed
# corpus is fuzz/corpus/<what>/. Declare it in the CMakeLists of the module
# whose reader it exercises, with its source under fuzz/.
function(tal_fuzzer name source)
  cmake_parse_arguments(F "" "" "DEPS" ${ARGN})
  if(NOT TAL_FUZZ)
    return()
  endif()
  add_executable(${name} ${source})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${F_DEPS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
endfunction()

# tal_bench(<name> <source> DEPS <libs...>) — a Google Benchmark program,
# built with TAL_BENCH into <build>/bench/. Declare it in the CMakeLists of the
# module it measures, with its source under bench/.
function(tal_bench name source)
  cmake_parse_arguments(B "" "" "DEPS" ${ARGN})
  if(NOT TAL_BENCH)
    return()
  endif()
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE ${B_DEPS} benchmark::benchmark)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()
