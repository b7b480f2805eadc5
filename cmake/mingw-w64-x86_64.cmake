# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (package g++-mingw-w64-x86-64-posix):
#   cmake --preset windows          (or -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake)
# The posix thread model is named explicitly: Debian's default alternative is win32, whose C++
# library has no std::thread or std::mutex (googletest needs them).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(X17B_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${X17B_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${X17B_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${X17B_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${X17B_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Every program, tests included, imports Windows' own DLLs only: the C++ runtime, libgcc and
# winpthreads are linked in, so nothing has to lie beside an .exe.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# ctest runs the test programs through wine (Debian package wine64), when it is there, by the
# project's wrapper that keeps wine's loader off the shared page; the programs build without it.
find_program(X17B_WINE NAMES wine)
if(X17B_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine_run.sh)
endif()
