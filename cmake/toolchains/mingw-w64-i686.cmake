# Cross build for 32-bit Windows with the MinGW-w64 toolchain, for a simulator that is a 32-bit
# program. (Running its tests needs a 32-bit wine.)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(_mingw i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
