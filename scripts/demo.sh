#!/usr/bin/env bash
# demo.sh -- builds the native tools and the Windows programs, assembles the sample patch's source
# tree in out/sample and builds its distribution medium in out/medium; make_medium.sh checks the
# medium by unpacking every archive again and comparing it with the sources.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

echo "== Native tools: build/release"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release --target lzss listimage generate_bulk

echo
echo "== Windows programs: build/win32"
cmake -S . -B build/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
    -DCMAKE_BUILD_TYPE=Release -DTRV_BUILD_TESTS=OFF -DTRV_BUILD_BENCH=OFF >/dev/null
cmake --build build/win32 --target setup trv99hw trv99sw

listimage=build/release/listimage

echo
echo "== Sample patch source tree: out/sample"
bash sample/make_sample_tree.sh out/sample build/win32/sample/game \
    build/release/sample/generate_bulk

echo
echo "== Distribution medium: out/medium"
bash tools/medium/make_medium.sh --lzss build/release/lzss --listimage "$listimage" \
    --setup build/win32/setup.exe out/sample out/medium

echo
echo "== out/medium is complete and checked; run setup.exe from that folder on Windows."
