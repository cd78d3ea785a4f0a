# mingw-common.cmake -- the parts of the MinGW-w64 cross toolchains that do not depend on the
# target processor. Included by mingw-i686.cmake and mingw-x86_64.cmake after they set
# TRV_MINGW_TRIPLET.

set(CMAKE_SYSTEM_NAME Windows)

# The posix thread model: the win32 model has no std::mutex, which GoogleTest needs.
set(CMAKE_C_COMPILER ${TRV_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TRV_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TRV_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TRV_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Static executables that need no MinGW DLLs, and no link time stamp, so that two builds of the
# same sources give the same bytes.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
