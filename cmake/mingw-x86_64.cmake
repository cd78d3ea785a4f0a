# mingw-x86_64.cmake -- cross toolchain for 64-bit builds of the same Windows programs, for
# machines whose Wine can run only 64-bit programs (a kernel without 32-bit support).
#   cmake -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TRV_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
