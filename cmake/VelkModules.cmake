# Folder-based targets. A folder's sources are its *.cpp files; those ending in
# _win32.cpp are built only for Windows, those ending in _posix.cpp only
# elsewhere, and *_main.cpp / *_main_win32.cpp are program entries that stay
# out of the library.

function(velk_collect_sources out dir)
  file(GLOB all CONFIGURE_DEPENDS "${dir}/*.cpp")
  set(picked "")
  foreach(f ${all})
    get_filename_component(n "${f}" NAME)
    if(n MATCHES "_main(_win32)?\\.cpp$")
      continue()
    endif()
    if(n MATCHES "_win32\\.cpp$" AND NOT WIN32)
      continue()
    endif()
    if(n MATCHES "_posix\\.cpp$" AND WIN32)
      continue()
    endif()
    list(APPEND picked "${f}")
  endforeach()
  set(${out} "${picked}" PARENT_SCOPE)
endfunction()

# velk_add_module_library(NAME [PUBLIC_LIBS lib...] [WIN32_LIBS lib...])
function(velk_add_module_library name)
  cmake_parse_arguments(ARG "" "" "PUBLIC_LIBS;WIN32_LIBS" ${ARGN})
  velk_collect_sources(sources "${CMAKE_CURRENT_SOURCE_DIR}")
  if(NOT sources)
    message(FATAL_ERROR "${name}: no sources in ${CMAKE_CURRENT_SOURCE_DIR}")
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE velk_warnings)
  if(WIN32 AND ARG_WIN32_LIBS)
    target_link_libraries(${name} PUBLIC ${ARG_WIN32_LIBS})
  endif()
endfunction()

# velk_add_test_folder(NAME LIBS lib... [RESOURCE_LOCK name]): one GoogleTest
# executable from the folder's *_test.cpp files (same platform suffix rules).
function(velk_add_test_folder name)
  cmake_parse_arguments(ARG "" "RESOURCE_LOCK" "LIBS" ${ARGN})
  velk_collect_sources(sources "${CMAKE_CURRENT_SOURCE_DIR}")
  if(NOT sources)
    message(FATAL_ERROR "${name}: no tests in ${CMAKE_CURRENT_SOURCE_DIR}")
  endif()
  velk_add_gtest(${name} SOURCES ${sources} LIBS ${ARG_LIBS} RESOURCE_LOCK ${ARG_RESOURCE_LOCK})
  target_compile_definitions(${name} PRIVATE
    VELK_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
endfunction()
