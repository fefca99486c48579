# Cross-builds the core and the command line for 64-bit Windows with
# MinGW-w64 (the POSIX thread model, for std::thread), linked statically so
# that the programs run without the compiler's DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TANDREL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TANDREL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TANDREL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TANDREL_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TANDREL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine on the build machine.
find_program(TANDREL_WINE NAMES wine64 wine)
if(TANDREL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TANDREL_WINE})
endif()
