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

# Qt for Windows (a static MinGW-w64 build of qtbase) for the window
# program; its host tools (moc, rcc, uic) are the build machine's Qt of the
# same version. Without it only the core and the command line are built.
set(TANDREL_WINDOWS_QT "${CMAKE_CURRENT_LIST_DIR}/../../shared/qt6-mingw" CACHE PATH
    "Qt 6 built for x86_64 MinGW-w64, for the window program")
get_filename_component(TANDREL_WINDOWS_QT_DIR "${TANDREL_WINDOWS_QT}" ABSOLUTE)
if(EXISTS "${TANDREL_WINDOWS_QT_DIR}/lib/cmake/Qt6/Qt6Config.cmake")
  set(TANDREL_WINDOWS_QT_FOUND ON)
  list(APPEND CMAKE_FIND_ROOT_PATH "${TANDREL_WINDOWS_QT_DIR}")
  list(APPEND CMAKE_PREFIX_PATH "${TANDREL_WINDOWS_QT_DIR}")
  set(QT_HOST_PATH /usr CACHE PATH "The build machine's Qt, for moc, rcc and uic")
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "The build machine's Qt CMake packages")
else()
  set(TANDREL_WINDOWS_QT_FOUND OFF)
endif()

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine on the build machine.
find_program(TANDREL_WINE NAMES wine64 wine)
if(TANDREL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TANDREL_WINE})
endif()
