# Common part of the MinGW-w64 toolchain files: they set CMAKE_SYSTEM_PROCESSOR and _mingw (the
# target triplet) and include this file.
set(CMAKE_SYSTEM_NAME Windows)

# The posix thread model: its standard library has std::mutex and std::thread, which GoogleTest
# needs.
find_program(CMAKE_C_COMPILER NAMES ${_mingw}-gcc-posix ${_mingw}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${_mingw}-g++-posix ${_mingw}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${_mingw}-windres)
find_program(CMAKE_OBJDUMP NAMES ${_mingw}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The DLLs and programs carry their own copy of the compiler's runtime (libgcc, libstdc++,
# winpthread), so that the simulator (or wine) needs nothing from the toolchain beside them.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Programs built here run under wine when tests run them.
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(_wine NAMES wine64 wine)
  if(_wine)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${_wine})
  endif()
endif()
