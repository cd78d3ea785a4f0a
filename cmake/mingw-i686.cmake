# mingw-i686.cmake -- cross toolchain for the 32-bit Windows programs that ship on the medium.
#   cmake -S . -B build/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TRV_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Every 32-bit program says in its header that Windows 95 and NT 4.0 may load it: subsystem and
# OS version 4.0, pinned here rather than left to the linker's defaults (the 95 family and NT 4
# refuse images above 4.0, Windows XP above 5.1).
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT
       " -Wl,--major-subsystem-version,4,--minor-subsystem-version,0"
       " -Wl,--major-os-version,4,--minor-os-version,0")
