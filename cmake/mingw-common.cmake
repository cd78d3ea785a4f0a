# mingw-common.cmake -- the parts of the MinGW-w64 cross toolchains that do not depend on the
# target processor. Included by mingw-i686.cmake and mingw-x86_64.cmake after they set
# TRV_MINGW_TRIPLET.

set(CMAKE_SYSTEM_NAME Windows)

# The win32 thread model: it links no threading runtime (winpthreads), whose imports would raise
# the programs' oldest Windows to Vista. Its libstdc++ has no std::thread or std::mutex: threads
# go through the Win32 API, and GoogleTest gets a replacement for its one use of std::mutex
# (tests/support/gtest_win32).
set(CMAKE_C_COMPILER ${TRV_MINGW_TRIPLET}-gcc-win32)
set(CMAKE_CXX_COMPILER ${TRV_MINGW_TRIPLET}-g++-win32)
set(CMAKE_RC_COMPILER ${TRV_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TRV_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Static executables that need no MinGW DLLs, and no link time stamp, so that two builds of the
# same sources give the same bytes.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
