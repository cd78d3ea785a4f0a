#!/usr/bin/env bash
# test.sh -- runs every test: the native build with AddressSanitizer and
# UndefinedBehaviorSanitizer, then the Windows build under Wine in a fresh prefix.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

echo "== Native tests (build/test)"
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRV_SANITIZE=ON >/dev/null
cmake --build build/test
ctest --test-dir build/test --output-on-failure -j2

# shellcheck source=windows_tree.sh
. scripts/windows_tree.sh
windows_build=build/test-win$windows_bits
echo "== Windows tests under Wine ($windows_bits-bit build, $windows_build)"
if [ "$windows_bits" = 64 ]; then
    echo "   (this kernel cannot run 32-bit programs, so Wine runs the 64-bit build)"
fi
cmake -S . -B "$windows_build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$windows_toolchain" \
      -DCMAKE_BUILD_TYPE=Release -DTRV_BUILD_BENCH=OFF -DTRV_NATIVE_LZSS="$PWD/build/test/lzss" \
      >/dev/null
cmake --build "$windows_build"
bash scripts/wine_prefix.sh "$windows_build" start
trap 'bash scripts/wine_prefix.sh "$windows_build" stop' EXIT
ctest --test-dir "$windows_build" --output-on-failure -j2
