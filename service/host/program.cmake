# VelkVPNService.exe: the service host as a library (so tests can drive
# ServiceMain with a stand-in control manager) and the program around it.

# The event log's message table: a header of message ids for the host and a
# resource for the program.
set(VELK_MC_COMPILER "${VELK_MC_COMPILER}" CACHE STRING "Message compiler (windmc or mc)")
if(NOT VELK_MC_COMPILER)
  if(MSVC)
    set(VELK_MC_COMPILER mc)
  else()
    set(VELK_MC_COMPILER windmc)
  endif()
endif()
set(messages_dir "${CMAKE_CURRENT_BINARY_DIR}/messages")
add_custom_command(
  OUTPUT "${messages_dir}/service_messages.h" "${messages_dir}/service_messages.rc"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${messages_dir}"
  COMMAND ${VELK_MC_COMPILER} -h "${messages_dir}" -r "${messages_dir}"
          "${CMAKE_CURRENT_SOURCE_DIR}/service_messages.mc"
  DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/service_messages.mc"
  COMMENT "Compiling the event log's message table")
add_custom_target(velk_service_messages
  DEPENDS "${messages_dir}/service_messages.h" "${messages_dir}/service_messages.rc")

add_library(velk_host STATIC service_host_win32.cpp event_log_win32.cpp route_restore_log_win32.cpp)
target_include_directories(velk_host PUBLIC ${PROJECT_SOURCE_DIR} PRIVATE "${messages_dir}")
target_link_libraries(velk_host PUBLIC velk_channel velk_supervision advapi32 PRIVATE velk_warnings)
add_dependencies(velk_host velk_service_messages)

add_executable(VelkVPNService service_main_win32.cpp "${messages_dir}/service_messages.rc")
target_link_libraries(VelkVPNService PRIVATE velk_host velk_warnings)
velk_add_version_resource(VelkVPNService DESCRIPTION "VelkVPN service: starts the VPN core and changes the routes")
if(MINGW)
  # Unicode entry point wmain.
  target_link_options(VelkVPNService PRIVATE -municode)
endif()
