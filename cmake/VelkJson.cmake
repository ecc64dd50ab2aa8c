# nlohmann/json (Debian's nlohmann-json3-dev, header-only) as the target
# velk_json. Natively through its CMake package. The MinGW build searches only
# its own root, and /usr/include as a whole would put Linux headers before the
# MinGW ones, so there the one folder is linked into the build tree instead.
add_library(velk_json INTERFACE)
if(CMAKE_CROSSCOMPILING)
  find_path(VELK_JSON_INCLUDE_DIR nlohmann/json.hpp
    PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT VELK_JSON_INCLUDE_DIR)
    message(FATAL_ERROR "nlohmann/json.hpp not found: install nlohmann-json3-dev")
  endif()
  set(velk_json_dir "${CMAKE_BINARY_DIR}/third_party/include")
  file(MAKE_DIRECTORY "${velk_json_dir}")
  if(NOT EXISTS "${velk_json_dir}/nlohmann")
    file(CREATE_LINK "${VELK_JSON_INCLUDE_DIR}/nlohmann" "${velk_json_dir}/nlohmann" SYMBOLIC)
  endif()
  target_include_directories(velk_json SYSTEM INTERFACE "${velk_json_dir}")
else()
  find_package(nlohmann_json 3.2 REQUIRED)
  target_link_libraries(velk_json INTERFACE nlohmann_json::nlohmann_json)
endif()
