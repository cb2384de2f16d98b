# Target orbiter_sdk from the simulator's own SDK folder (ORBITER_SDK_DIR): its include/ folder
# and the import libraries in its lib/ folder, ORBITER_SDK_LIBS by name.
set(ORBITER_SDK_LIBS "orbiter;Orbitersdk" CACHE STRING "Libraries in ORBITER_SDK_DIR/lib the modules link")

if(NOT EXISTS ${ORBITER_SDK_DIR}/include/Orbitersdk.h)
  # The windows-sdk presets name it from the environment variable ORBITER_DIR.
  message(FATAL_ERROR "ORBITER_SDK_DIR=${ORBITER_SDK_DIR} has no include/Orbitersdk.h "
                      "(the windows-sdk presets take it from ORBITER_DIR, the simulator's folder)")
endif()

add_library(orbiter_sdk INTERFACE)
target_include_directories(orbiter_sdk INTERFACE ${ORBITER_SDK_DIR}/include)
foreach(lib IN LISTS ORBITER_SDK_LIBS)
  # The folder is outside any cross toolchain's root, so it is searched as it stands.
  find_library(ORBITER_SDK_LIB_${lib} NAMES ${lib} PATHS ${ORBITER_SDK_DIR}/lib
               NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT ORBITER_SDK_LIB_${lib})
    message(FATAL_ERROR "ORBITER_SDK_DIR=${ORBITER_SDK_DIR}: no library '${lib}' in lib/")
  endif()
  target_link_libraries(orbiter_sdk INTERFACE ${ORBITER_SDK_LIB_${lib}})
endforeach()
message(STATUS "Building the modules against the SDK in ${ORBITER_SDK_DIR}")
