# velk_add_gtest(NAME SOURCES src... LIBS lib... [RESOURCE_LOCK name])
# One GoogleTest executable; its cases are listed for ctest at test time, so
# the Windows build needs no Wine while it compiles. RESOURCE_LOCK keeps cases
# that share something outside the process (fixed files in the Wine prefix)
# from running side by side under ctest -j.
include(GoogleTest)

function(velk_add_gtest name)
  cmake_parse_arguments(ARG "" "RESOURCE_LOCK" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} velk_warnings GTest::gmock GTest::gtest_main)
  set(properties TIMEOUT 300)
  if(ARG_RESOURCE_LOCK)
    list(APPEND properties RESOURCE_LOCK ${ARG_RESOURCE_LOCK})
  endif()
  # Plain indices for parameterised cases: a printed parameter can hold
  # addresses, which would change the test's name from one run to the next.
  gtest_discover_tests(${name}
    NO_PRETTY_VALUES
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    PROPERTIES ${properties})
endfunction()

# velk_add_fuzz_harness(NAME SOURCE src LIBS lib...): the fuzz harness
# NAME_fuzz, one LLVMFuzzerTestOneInput. With VELK_LIBFUZZER (clang) it is a
# libFuzzer program; otherwise a main replays the saved corpus tests/fuzz/NAME
# through it, as the test fuzz_replay_NAME, so a fault once found stays fixed.
function(velk_add_fuzz_harness name)
  cmake_parse_arguments(ARG "" "SOURCE" "LIBS" ${ARGN})
  set(target ${name}_fuzz)
  add_executable(${target} ${ARG_SOURCE})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} velk_warnings)
  if(VELK_LIBFUZZER)
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer)
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
  else()
    target_sources(${target} PRIVATE "${PROJECT_SOURCE_DIR}/tests/fuzz/replay_main.cpp")
    add_test(NAME fuzz_replay_${name}
             COMMAND ${target} "${CMAKE_CURRENT_SOURCE_DIR}/${name}")
    set_tests_properties(fuzz_replay_${name} PROPERTIES TIMEOUT 60)
  endif()
endfunction()
