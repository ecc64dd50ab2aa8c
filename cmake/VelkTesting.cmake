# velk_add_gtest(NAME SOURCES src... LIBS lib...)
# One GoogleTest executable; its cases are listed for ctest at test time, so
# the Windows build needs no Wine while it compiles.
include(GoogleTest)

function(velk_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} velk_warnings GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    PROPERTIES TIMEOUT 300)
endfunction()
