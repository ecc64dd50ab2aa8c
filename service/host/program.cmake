# VelkVPNService.exe: the service host as a library (so tests can drive
# ServiceMain with a stand-in control manager) and the program around it.
add_library(velk_host STATIC service_host_win32.cpp route_restore_log_win32.cpp)
target_include_directories(velk_host PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(velk_host PUBLIC velk_channel velk_supervision advapi32 PRIVATE velk_warnings)

add_executable(VelkVPNService service_main_win32.cpp)
target_link_libraries(VelkVPNService PRIVATE velk_host velk_warnings)
velk_add_version_resource(VelkVPNService DESCRIPTION "VelkVPN service: starts the VPN core and changes the routes")
if(MINGW)
  # Unicode entry point wmain.
  target_link_options(VelkVPNService PRIVATE -municode)
endif()
