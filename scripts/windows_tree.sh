# windows_tree.sh -- which Windows build this machine's Wine can run. Sourced by demo.sh and
# test.sh; sets windows_toolchain and windows_bits.
#
# The programs ship as 32-bit (i686) executables. Wine runs them only where the kernel runs
# 32-bit code, so the probe runs a 32-bit Windows program, Wine's own cmd.exe, in a fresh 32-bit
# prefix and checks its exit code (a few seconds). Where that fails, a 64-bit build of the same
# sources stands in. TRV_WINDOWS_BITS=32 or 64 overrides the choice.

# True when 32-bit Wine starts a 32-bit program here and gets its exit code back.
wine32_runs() {
    /lib/ld-linux.so.2 --version >/dev/null 2>&1 || return 1
    local scratch status=0
    scratch=$(mktemp -d)
    (
        export WINEPREFIX="$scratch/prefix" WINEARCH=win32 HOME="$scratch" WINEDEBUG=-all
        export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
        code=0
        timeout 180 wine cmd /c exit 7 </dev/null >/dev/null 2>&1 || code=$?
        wineserver -k </dev/null >/dev/null 2>&1 || true
        wineserver -w </dev/null >/dev/null 2>&1 || true
        [ "$code" = 7 ]
    ) || status=1
    rm -rf "$scratch"
    return "$status"
}

if [ -n "${TRV_WINDOWS_BITS:-}" ]; then
    windows_bits=$TRV_WINDOWS_BITS
elif wine32_runs; then
    windows_bits=32
else
    windows_bits=64
fi
if [ "$windows_bits" = 32 ]; then
    windows_toolchain=cmake/mingw-i686.cmake
else
    windows_toolchain=cmake/mingw-x86_64.cmake
fi
