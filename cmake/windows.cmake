# windows.cmake -- settings of a cross build for Windows: the Wine runner that lets ctest start
# the cross-built programs, and the static runtime. Included by the top-level CMakeLists.txt.

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(TRV_WINEARCH win64)
  find_program(TRV_WINE_LOADER NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
  find_program(TRV_WINE_LOADER NAMES wine64 wine)
else()
  set(TRV_WINEARCH win32)
  find_program(TRV_WINE_LOADER NAMES wine)
endif()
if(NOT TRV_WINE_LOADER)
  set(TRV_WINE_LOADER wine)
endif()

set(TRV_WINE_ROOT ${CMAKE_BINARY_DIR}/wine)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-env.sh.in ${TRV_WINE_ROOT}/wine-env.sh @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-exec.in ${TRV_WINE_ROOT}/wine-exec @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TRV_WINE_ROOT}/wine-exec)

# setup.exe and the library code it links are built to need no C or C++ runtime: no exceptions,
# RTTI, unwind tables or guarded statics. The 32-bit build runs on every Windows of the 95
# family, so it is code for the 386 without any floating point (a 386 may have no
# coprocessor); the 64-bit build keeps the compiler's defaults for its processor. A section per
# function lets the link drop what setup does not call. (Not one per object: MinGW's GCC then
# puts zeroed data into .data, the decoder's 74 KB of window and output block in the file.)
set(TRV_SETUP_COMPILE_OPTIONS -ffreestanding -fno-exceptions -fno-rtti
    -fno-asynchronous-unwind-tables -fno-threadsafe-statics -ffunction-sections)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(TRV_SETUP_ENTRY WinMainCRTStartup)
else()
  list(APPEND TRV_SETUP_COMPILE_OPTIONS -march=i386 -mno-80387)
  set(TRV_SETUP_ENTRY _WinMainCRTStartup@0)   # __stdcall, no arguments
endif()
