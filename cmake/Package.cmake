# The add-on as users install it: the two modules and the files of sim/addon, laid out as the
# simulator's own folders (Modules/, Config/Vessels/, Meshes/, Scenarios/Aerobell/) relative to
# the install prefix, which is the simulator's folder. Nothing of sim/testworld is installed: its
# classes and meshes stand in for the simulator's and other add-ons' own, and would overwrite them.
#
#   cmake --install build --prefix C:/Orbiter        # straight into an installation
#   cpack --config build/CPackConfig.cmake           # the same files as a zip, unpacked there
#
# A Windows build against the stand-in makes DLLs that import the stand-in, not the simulator:
# it installs nothing. The runner and its own simulation root are the component "runner", which
# is installed only when asked for (see runner/).
if(WIN32 AND NOT ORBITER_SDK_DIR)
  return()
endif()

install(TARGETS Aerobell LIBRARY DESTINATION Modules COMPONENT addon)
# The message module is generic: other add-ons ship one of the same name, and every vessel that
# loads "Modules\cvelmessage" shares the one copy there. One already installed is kept (its
# add-ons rely on it; the cone needs of it only its two functions), and said so.
install(CODE [[
  set(_message "${CMAKE_INSTALL_PREFIX}/Modules/$<TARGET_FILE_NAME:cvelmessage>")
  if(EXISTS "$ENV{DESTDIR}${_message}")
    message(STATUS "Kept: ${_message} (already installed; remove it first to install this one)")
  else()
    file(INSTALL "$<TARGET_FILE:cvelmessage>" DESTINATION "${CMAKE_INSTALL_PREFIX}/Modules")
  endif()
]] COMPONENT addon)
install(DIRECTORY ${AEROBELL_ADDON_DIR}/ DESTINATION . COMPONENT addon)

if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(_platform win64)
  else()
    set(_platform win32)
  endif()
else()
  string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" _platform)
endif()
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Aerobell)
set(CPACK_PACKAGE_VENDOR "Aerobell")
set(CPACK_PACKAGE_FILE_NAME "Aerobell-${PROJECT_VERSION}-${_platform}")
# Unpacked in the simulator's folder, the zip's folders are the simulator's own.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
