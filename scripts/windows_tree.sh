# windows_tree.sh -- which Windows build this machine's Wine can run. Sourced by test.sh and
# demo.sh; sets windows_toolchain and windows_bits.
#
# The programs ship as 32-bit (i686) executables. Wine runs them only where the kernel can run
# 32-bit Linux programs; where it cannot, the tests run a 64-bit build of the same sources.
if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    windows_toolchain=cmake/mingw-i686.cmake
    windows_bits=32
else
    windows_toolchain=cmake/mingw-x86_64.cmake
    windows_bits=64
fi
