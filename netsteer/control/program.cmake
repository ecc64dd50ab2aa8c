# netsteer.exe: GUI subsystem (no console window), wWinMain entry, and the
# application manifest (asInvoker) embedded as a resource.
enable_language(RC)

add_executable(netsteer WIN32
  ${CMAKE_CURRENT_LIST_DIR}/netsteer_main_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/netsteer.rc)
target_link_libraries(netsteer PRIVATE netsteer_control velk_warnings)
velk_add_version_resource(netsteer DESCRIPTION "VelkVPN route helper")
# windres finds the manifest named in the script through the include path.
target_include_directories(netsteer PRIVATE ${CMAKE_CURRENT_LIST_DIR})
set_property(SOURCE ${CMAKE_CURRENT_LIST_DIR}/netsteer.rc APPEND PROPERTY
  OBJECT_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/netsteer.exe.manifest)
if(MINGW)
  target_link_options(netsteer PRIVATE -municode)
elseif(MSVC)
  # The manifest comes from netsteer.rc; a second one from the linker would
  # clash with it as resource 1.
  target_link_options(netsteer PRIVATE /MANIFEST:NO)
endif()
