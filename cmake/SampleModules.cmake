# The simulator's own modules for the classes the test world takes from it, built from the
# simulator's samples (AEROBELL_SHARED_DIR/platform/samples) unchanged against the stand-in, into
# the simulation root's Modules folder: today the mmu module of its nasa_mmu, the astronaut the
# cone releases. Where the samples are absent the class flies without its module, as the host
# says once. Only `orbitersdk.h` is mapped to the stand-in header's name, as a case-free file
# system would. Nothing of this is installed with the add-on: the module is the simulator's.
if(DEFINED ENV{AEROBELL_SHARED_DIR})
  set(_shared_default $ENV{AEROBELL_SHARED_DIR})
else()
  set(_shared_default ${CMAKE_SOURCE_DIR}/../shared)
endif()
set(AEROBELL_SHARED_DIR ${_shared_default} CACHE PATH
    "The folder holding platform/samples, the simulator's sample modules (default ../shared)")
set(AEROBELL_SAMPLE_MODULES)

set(_samples ${AEROBELL_SHARED_DIR}/platform/samples)
if(NOT EXISTS ${_samples}/MMU/mmu.cpp)
  message(STATUS "No ${_samples}/MMU/mmu.cpp: the test world's nasa_mmu flies without its module")
  return()
endif()

set(_include ${CMAKE_BINARY_DIR}/sample-include)
file(MAKE_DIRECTORY ${_include})
file(CREATE_LINK ${CMAKE_SOURCE_DIR}/host/include/Orbitersdk.h ${_include}/orbitersdk.h
     COPY_ON_ERROR SYMBOLIC)

add_library(sample_mmu MODULE ${_samples}/MMU/mmu.cpp)
set_target_properties(sample_mmu PROPERTIES
  OUTPUT_NAME mmu
  PREFIX ""
  LIBRARY_OUTPUT_DIRECTORY ${AEROBELL_MODULE_DIR})
target_include_directories(sample_mmu PRIVATE ${_include})
target_link_libraries(sample_mmu PRIVATE orbiter_host)
# Foreign code: its warnings are not ours to fix (and must not fail a build that treats ours as
# errors).
if(MSVC)
  target_compile_options(sample_mmu PRIVATE /w)
else()
  target_compile_options(sample_mmu PRIVATE -w)
endif()
if(NOT WIN32)
  # Every name it uses is one the stand-in provides.
  target_link_options(sample_mmu PRIVATE -Wl,--no-undefined)
endif()
list(APPEND AEROBELL_SAMPLE_MODULES sample_mmu)
