# windows_tree.sh -- which Windows build this machine's Wine can run. Sourced by demo.sh;
# sets windows_toolchain and windows_bits.
#
# The programs ship as 32-bit (i686) executables. Wine runs them only where the kernel can run
# 32-bit Linux programs; where it cannot, the tests run a 64-bit build of the same sources.
# TRV_WINDOWS_BITS=32 or 64 overrides the choice.
if [ -n "${TRV_WINDOWS_BITS:-}" ]; then
    windows_bits=$TRV_WINDOWS_BITS
elif /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    windows_bits=32
else
    windows_bits=64
fi
if [ "$windows_bits" = 32 ]; then
    windows_toolchain=cmake/mingw-i686.cmake
else
    windows_toolchain=cmake/mingw-x86_64.cmake
fi
