# Cross-compiling for Windows with Debian's mingw-w64 compilers.  Included
# by the two per-architecture toolchain files, which set VOLNEDA_MINGW_ARCH
# (i686 or x86_64) first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${VOLNEDA_MINGW_ARCH})
set(_triple ${VOLNEDA_MINGW_ARCH}-w64-mingw32)

# The posix-thread variant: the standard library's threads, mutexes and
# condition variables (used by the tests) need it.
find_program(CMAKE_C_COMPILER NAMES ${_triple}-gcc-posix ${_triple}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${_triple}-g++-posix ${_triple}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${_triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ runtimes and winpthread go inside each module, so that the
# DLLs (and the test program) need nothing but the system's own DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")

# Tests are listed when they run, not when they are built: a build machine
# without Wine still builds everything.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
if(VOLNEDA_MINGW_ARCH STREQUAL "i686")
  set(_wine_names wine)
else()
  set(_wine_names wine64)
endif()
# The tests run under Wine where it is installed and can run here (a 32-bit
# Wine needs a kernel that runs 32-bit programs); elsewhere only the checks
# that need no Windows program run.
find_program(VOLNEDA_WINE NAMES ${_wine_names} PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(VOLNEDA_WINE AND NOT DEFINED VOLNEDA_WINE_WORKS)
  execute_process(COMMAND ${VOLNEDA_WINE} --version RESULT_VARIABLE _rc OUTPUT_QUIET ERROR_QUIET
                  TIMEOUT 60)
  if(_rc EQUAL 0)
    set(VOLNEDA_WINE_WORKS ON CACHE BOOL "Wine runs on this machine")
  else()
    set(VOLNEDA_WINE_WORKS OFF CACHE BOOL "Wine runs on this machine")
  endif()
endif()
if(VOLNEDA_WINE AND VOLNEDA_WINE_WORKS)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VOLNEDA_WINE})
endif()
