#!/usr/bin/env bash
# demo.sh -- builds the native tools and the Windows programs, assembles the sample patch's source
# tree in out/sample and builds its distribution medium in out/medium and its disc image
# out/medium.iso; make_medium.sh checks the medium by unpacking every archive again and comparing
# it with the sources, and the image by reading it back.
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
cmake --build build/win32 --target setup lzss listimage trv99hw trv99sw

listimage=build/release/listimage

echo
echo "== Sample patch source tree: out/sample"
bash sample/make_sample_tree.sh out/sample build/win32/sample/game \
    build/release/sample/generate_bulk

echo
echo "== Distribution medium: out/medium, and its disc image out/medium.iso"
bash tools/medium/make_medium.sh --lzss build/release/lzss --listimage "$listimage" \
    --setup build/win32/setup.exe --iso out/medium.iso out/sample out/medium

# shellcheck source=windows_tree.sh
. scripts/windows_tree.sh
medium=out/medium
if [ "$windows_bits" = 64 ]; then
    # Wine here runs only 64-bit programs: the same medium again, from a 64-bit build.
    echo
    echo "== This kernel cannot run 32-bit programs: a 64-bit build of the medium for Wine"
    cmake -S . -B build/demo-win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE="$windows_toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DTRV_BUILD_TESTS=OFF -DTRV_BUILD_BENCH=OFF >/dev/null
    cmake --build build/demo-win64 --target setup trv99hw trv99sw dialog_demo
    bash sample/make_sample_tree.sh out/sample-win64 build/demo-win64/sample/game \
        build/release/sample/generate_bulk
    bash tools/medium/make_medium.sh --lzss build/release/lzss --listimage "$listimage" \
        --setup build/demo-win64/setup.exe out/sample-win64 out/medium-win64 >/dev/null
    medium=out/medium-win64
    demo_tree=build/demo-win64
else
    cmake --build build/win32 --target dialog_demo
    demo_tree=build/win32
fi

echo
echo "== setup.exe from $medium under Wine, in a scratch prefix ($demo_tree/wine)"
# shellcheck source=x_display.sh
. scripts/x_display.sh
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
    use_virtual_display
    echo "   (no display: headless under Xvfb $DISPLAY)"
fi
trap 'bash scripts/wine_prefix.sh "$demo_tree" stop; stop_virtual_display' EXIT
bash scripts/wine_prefix.sh "$demo_tree" start
# shellcheck source=/dev/null
. "$demo_tree/wine/wine-env.sh"
# Title bars on a display without a window manager.
"$TRV_WINE_LOADER" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
rm -rf out/shots
mkdir -p out/shots
(cd "$medium" && "../../$demo_tree/wine/wine-exec" "../../$demo_tree/dialog_demo.exe" \
    "$PWD/../shots")
for shot in out/shots/*.bmp; do
    convert "$shot" "${shot%.bmp}.png" && rm "$shot"
done
echo
echo "== out/medium is complete and checked; screenshots of the install are in out/shots/."
