# GoogleTest for a cross build: the distribution's sources (package googletest) compiled with the
# cross compiler. find_package(GTest) then finds the targets made here through the shim config
# in cmake/gtest-config.
set(AEROBELL_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for cross builds")
if(NOT EXISTS ${AEROBELL_GTEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "Cross-built tests need the GoogleTest sources in AEROBELL_GTEST_SOURCE "
                      "(apt-get install googletest), or configure with -DAEROBELL_BUILD_TESTS=OFF")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
# GoogleTest's own sources are not held to this project's warning settings.
get_property(_aerobell_compile_options DIRECTORY PROPERTY COMPILE_OPTIONS)
set_property(DIRECTORY PROPERTY COMPILE_OPTIONS "")
add_subdirectory(${AEROBELL_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
set_property(DIRECTORY PROPERTY COMPILE_OPTIONS "${_aerobell_compile_options}")
set(GTest_DIR ${CMAKE_CURRENT_LIST_DIR}/gtest-config CACHE PATH "" FORCE)

# The suites' few POSIX loader calls map onto the Windows loader (posix-shim/dlfcn.h).
include_directories(${CMAKE_CURRENT_LIST_DIR}/posix-shim)
