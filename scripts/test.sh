#!/usr/bin/env bash
# test.sh -- runs every test: the native build with AddressSanitizer and
# UndefinedBehaviorSanitizer, a short run of each fuzz target, then the Windows build under Wine
# in a fresh prefix.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

echo "== Native tests (build/test)"
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRV_SANITIZE=ON >/dev/null
cmake --build build/test
ctest --test-dir build/test --output-on-failure -j2

echo "== Fuzz targets, 20 s each (build/fuzz)"
bash scripts/fuzz.sh 20

# shellcheck source=windows_tree.sh
. scripts/windows_tree.sh
windows_build=build/test-win$windows_bits
echo "== Windows tests under Wine ($windows_bits-bit build, $windows_build)"
if [ "$windows_bits" = 64 ]; then
    echo "   (this kernel cannot run 32-bit programs, so Wine runs the 64-bit build)"
fi
cmake -S . -B "$windows_build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$windows_toolchain" \
      -DCMAKE_BUILD_TYPE=Release -DTRV_BUILD_BENCH=OFF -DTRV_NATIVE_LZSS="$PWD/build/test/lzss" -DTRV_NATIVE_BUILD="$PWD/build/test" \
      >/dev/null
cmake --build "$windows_build"
if [ "$windows_bits" = 64 ]; then
    echo "== The shipped 32-bit programs still build (build/win32)"
    cmake -S . -B build/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
          -DCMAKE_BUILD_TYPE=Release -DTRV_BUILD_TESTS=OFF -DTRV_BUILD_BENCH=OFF >/dev/null
    cmake --build build/win32
fi
# shellcheck source=x_display.sh
. scripts/x_display.sh
use_virtual_display
trap 'bash scripts/wine_prefix.sh "$windows_build" stop; stop_virtual_display' EXIT
bash scripts/wine_prefix.sh "$windows_build" start
ctest --test-dir "$windows_build" --output-on-failure -j2
