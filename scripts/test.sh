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

# Configures and builds the Windows test tree of `windows_bits` into `windows_build`.
build_windows_tree() {
    windows_build=build/test-win$windows_bits
    cmake -S . -B "$windows_build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$windows_toolchain" \
          -DCMAKE_BUILD_TYPE=Release -DTRV_BUILD_BENCH=OFF \
          -DTRV_NATIVE_LZSS="$PWD/build/test/lzss" -DTRV_NATIVE_BUILD="$PWD/build/test" >/dev/null
    cmake --build "$windows_build"
}

# shellcheck source=x_display.sh
. scripts/x_display.sh
use_virtual_display
windows_build=
trap 'if [ -n "$windows_build" ]; then bash scripts/wine_prefix.sh "$windows_build" stop; fi;
      stop_virtual_display' EXIT

build_windows_tree
if ! bash scripts/wine_prefix.sh "$windows_build" start; then
    if [ "$windows_bits" != 32 ]; then
        echo "test.sh: Wine could not make a prefix for $windows_build" >&2
        exit 1
    fi
    echo "   (32-bit Wine could not make a prefix here; the 64-bit build runs instead)"
    windows_bits=64
    windows_toolchain=cmake/mingw-x86_64.cmake
    build_windows_tree
    bash scripts/wine_prefix.sh "$windows_build" start
fi
if [ "$windows_bits" = 64 ]; then
    echo "== The shipped 32-bit programs still build (build/win32)"
    cmake -S . -B build/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
          -DCMAKE_BUILD_TYPE=Release -DTRV_BUILD_TESTS=OFF -DTRV_BUILD_BENCH=OFF >/dev/null
    cmake --build build/win32
    echo "   (Wine here runs only 64-bit programs: the Windows tests run the 64-bit build)"
fi
echo "== Windows tests under Wine ($windows_bits-bit build, $windows_build)"
ctest --test-dir "$windows_build" --output-on-failure -j2
