#!/usr/bin/env bash
# test.sh -- runs every test: the native build with AddressSanitizer and
# UndefinedBehaviorSanitizer, lzss's threaded runs with ThreadSanitizer, a short run of each fuzz
# target, then the Windows suite under Wine in a fresh prefix, and once more as Windows 95 with
# the Windows 95 layer (tests/win95) in every program: on the shipped 32-bit build where 32-bit
# Wine runs, elsewhere on a 64-bit build plus the shipped build's main cases in a VM with 32-bit
# Wine; last, the check of the shipped programs' headers, imports and instructions.
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

# Where 32-bit Wine runs (scripts/windows_tree.sh probes it; TRV_WINDOWS_BITS=64 forces the other
# path), the whole Windows suite runs on the shipped 32-bit build. Elsewhere a 64-bit build of the
# same sources runs it, and a VM with 32-bit Wine runs the shipped build's main cases; that VM is
# built once per machine (about 10 minutes, mostly downloads), beside the native tests.
# shellcheck source=windows_tree.sh
. scripts/windows_tree.sh
if [ -n "${TRV_WINDOWS_BITS:-}" ]; then
    echo "   (TRV_WINDOWS_BITS=$TRV_WINDOWS_BITS chooses the path)"
else
    echo "   (32-bit Wine $([ "$windows_bits" = 32 ] && echo runs || echo "does not run") here)"
fi
mkdir -p build
if [ "$windows_bits" != 32 ]; then
    bash scripts/win32_vm.sh image > build/vm-image.log 2>&1 &
    vm_image_job=$!
fi

# Each build is a preset of CMakePresets.json (README.md, "Tests"); each ctest run fails when it
# selects no test. Here every input the tests use must be present: the shared corpus beside the
# repository, the kernel's files (elsewhere their cases skip with a message).
export TRV_REQUIRE_INPUTS=1

section "Native tests (build/test)"
cmake --preset test >/dev/null
cmake --build --preset test
ctest --preset test

section "ThreadSanitizer (build/tsan): the cases labelled threads, in the library and in lzss"
cmake --preset tsan >/dev/null
cmake --build --preset tsan
ctest --preset tsan

section "Fuzz targets, 15 s each (build/fuzz)"
bash scripts/fuzz.sh 15

# shellcheck source=x_display.sh
. scripts/x_display.sh
use_virtual_display
trap 'for tree in build/test-win32 build/test-win64; do
          bash scripts/wine_prefix.sh "$tree" stop 2>/dev/null || true
      done; stop_virtual_display' EXIT

# Configures and builds a Windows test tree (the presets test-win32 and test-win64); both trees
# use the same win32-model compilers and flags as the shipped build (build/win32), with the tests
# added, and the native tree build/test.
build_windows_tree() {
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1"
}

section "The shipped 32-bit build with its tests (build/test-win32)"
build_windows_tree test-win32

if [ "$windows_bits" = 32 ]; then
    section "Windows tests under 32-bit Wine (the shipped build, build/test-win32)"
    bash scripts/wine_prefix.sh build/test-win32 start
    ctest --preset test-win32

    # The whole suite once more as Windows 95: the prefix reports it, and the Windows 95 layer
    # makes its documented behaviour happen in every program (README.md, "The Windows 95 run").
    section "Windows tests as Windows 95 with its rules (build/test-win32)"
    bash scripts/wine_prefix.sh build/test-win32 version win95
    ctest --preset test-win32-as-win95
    bash scripts/wine_prefix.sh build/test-win32 stop
else
    # Wine on this machine runs 64-bit programs only.
    section "Windows tests under Wine (64-bit build, build/test-win64)"
    build_windows_tree test-win64
    bash scripts/wine_prefix.sh build/test-win64 start
    ctest --preset test-win64

    # The whole suite once more as Windows 95, with the layer built for x86_64: its rules are
    # about what the API does, which is the same for 64-bit programs.
    section "Windows tests as Windows 95 with its rules (64-bit build, build/test-win64)"
    bash scripts/wine_prefix.sh build/test-win64 version win95
    ctest --preset test-win64-as-win95
    bash scripts/wine_prefix.sh build/test-win64 stop

    # The shipped 32-bit programs themselves: the lzss.exe cross check and the main end-to-end
    # cases in a VM with 32-bit Wine, those also as Windows 95 with the i686 layer.
    section "The shipped 32-bit build in the Windows test VM"
    if ! wait "$vm_image_job"; then
        tail -n 30 build/vm-image.log >&2
        echo "test.sh: FAILED: the Windows test VM could not be built (build/vm-image.log)," \
             "so the shipped 32-bit programs did not run" >&2
        exit 1
    fi
    cmake --preset release >/dev/null
    cmake --build --preset release --target lzss
    bash scripts/test_win32_vm.sh build/test-win32 build/test build/release/lzss
fi

# The shipped programs' headers, imports and instructions.
section "The shipped 32-bit programs' headers, imports and instructions (build/test-win32)"
bash scripts/check_programs.sh build/test-win32
section "done"
