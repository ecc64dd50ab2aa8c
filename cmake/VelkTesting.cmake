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
