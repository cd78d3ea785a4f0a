#!/usr/bin/env bash
# test.sh -- runs every test: the native build with AddressSanitizer and
# UndefinedBehaviorSanitizer, lzss's threaded runs with ThreadSanitizer, a short run of each fuzz
# target, then the Windows build under Wine
# in a fresh prefix (64-bit build), and the shipped 32-bit build in a VM with 32-bit Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

# Starts a section of the run, saying how long the one before it took.
section_started=$SECONDS
section() {
    if [ -n "${section_name:-}" ]; then
        echo "   ($section_name: $((SECONDS - section_started)) s)"
    fi
    section_name=$1
    section_started=$SECONDS
    echo "== $1"
}

section "Packages"
bash scripts/deps.sh

# The VM that runs the shipped 32-bit programs is built once per machine (about 10 minutes, mostly
# downloads); a machine without it builds it beside the native tests.
mkdir -p build
bash scripts/win32_vm.sh image > build/vm-image.log 2>&1 &
vm_image_job=$!

section "Native tests (build/test)"
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRV_SANITIZE=ON >/dev/null
cmake --build build/test
ctest --test-dir build/test --output-on-failure -j2

section "ThreadSanitizer (build/tsan): lzss's failure tables and thread counts"
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRV_TSAN=ON \
      -DTRV_BUILD_BENCH=OFF >/dev/null
cmake --build build/tsan --target lzss lzss_tool_test
(cd build/tsan && TSAN_OPTIONS=halt_on_error=1 tests/lzss_tool_test \
    --gtest_filter='LzssTool.Reports*:LzssTool.PacksTheSame*')

section "Fuzz targets, 20 s each (build/fuzz)"
bash scripts/fuzz.sh 20

# shellcheck source=x_display.sh
. scripts/x_display.sh
use_virtual_display
trap 'bash scripts/wine_prefix.sh build/test-win64 stop 2>/dev/null || true; stop_virtual_display' EXIT

# Configures and builds a Windows test tree; both trees use the same win32-model compilers and
# flags as the shipped build (build/win32), with the tests added.
build_windows_tree() {
    cmake -S . -B "$1" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$2" \
          -DCMAKE_BUILD_TYPE=Release -DTRV_BUILD_BENCH=OFF \
          -DTRV_NATIVE_LZSS="$PWD/build/test/lzss" -DTRV_NATIVE_BUILD="$PWD/build/test" >/dev/null
    cmake --build "$1"
}

# The whole Windows suite on a 64-bit build of the same sources: Wine on these machines runs
# 64-bit programs natively, but 32-bit ones only where the kernel can run 32-bit Linux programs.
section "Windows tests under Wine (64-bit build, build/test-win64)"
build_windows_tree build/test-win64 cmake/mingw-x86_64.cmake
bash scripts/wine_prefix.sh build/test-win64 start
ctest --test-dir build/test-win64 --output-on-failure -j2
bash scripts/wine_prefix.sh build/test-win64 stop

# The shipped 32-bit programs themselves: their imports, then the lzss.exe cross check and the
# main end-to-end cases in a VM with 32-bit Wine.
section "The shipped 32-bit build (build/test-win32): imports"
build_windows_tree build/test-win32 cmake/mingw-i686.cmake
bash scripts/check_imports.sh build/test-win32
section "The shipped 32-bit build in the Windows test VM"
if ! wait "$vm_image_job"; then
    tail -n 30 build/vm-image.log >&2
    echo "test.sh: FAILED: the Windows test VM could not be built (build/vm-image.log)," \
         "so the shipped 32-bit programs did not run" >&2
    exit 1
fi
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release --target lzss
bash scripts/test_win32_vm.sh build/test-win32 build/test build/release/lzss
section "done"
