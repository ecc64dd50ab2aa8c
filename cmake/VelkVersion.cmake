# The product's name and version, named once for every program and the
# package: velk_version (a header with the version as text) and
# velk_add_version_resource, which gives a program its VERSIONINFO resource.
set(VELK_PRODUCT_NAME "VelkVPN")
set(VELK_COMPANY_NAME "VelkVPN")
set(VELK_COPYRIGHT "Copyright (C) VelkVPN")

set(_velk_version_dir "${PROJECT_BINARY_DIR}/generated")
configure_file("${CMAKE_CURRENT_LIST_DIR}/velk_version.h.in"
  "${_velk_version_dir}/velk_version.h" @ONLY)
add_library(velk_version INTERFACE)
target_include_directories(velk_version INTERFACE "${_velk_version_dir}")

# velk_add_version_resource(TARGET DESCRIPTION text): the file and product
# version from the project version, with the product name, company and the
# program's own description, built from version.rc.in.
function(velk_add_version_resource target)
  cmake_parse_arguments(ARG "" "DESCRIPTION" "" ${ARGN})
  if(NOT WIN32)
    return()
  endif()
  get_target_property(output_name ${target} OUTPUT_NAME)
  if(NOT output_name)
    set(output_name ${target})
  endif()
  set(VELK_FILE_DESCRIPTION "${ARG_DESCRIPTION}")
  set(VELK_ORIGINAL_FILENAME "${output_name}.exe")
  set(VELK_INTERNAL_NAME "${output_name}")
  set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc")
  configure_file("${PROJECT_SOURCE_DIR}/cmake/version.rc.in" "${rc}" @ONLY)
  enable_language(RC)
  target_sources(${target} PRIVATE "${rc}")
endfunction()
