#!/usr/bin/env bash
# make_e2e_medium.sh -- builds the medium the end-to-end tests run setup.exe from: the sample
# patch's source tree with the Windows build's game programs, packed by the native tools.
#
#   make_e2e_medium.sh OUT_DIR GAME_EXE_DIR NATIVE_BUILD_DIR SETUP_EXE
#
# OUT_DIR/sample is the source tree, OUT_DIR/medium the medium and OUT_DIR/medium.iso its disc
# image; NATIVE_BUILD_DIR holds lzss,
# listimage and sample/generate_bulk.
set -euo pipefail

if [ $# -ne 4 ]; then
    echo "usage: $0 OUT_DIR GAME_EXE_DIR NATIVE_BUILD_DIR SETUP_EXE" >&2
    exit 1
fi
out=$1
game_dir=$2
native=$3
setup_exe=$4
root=$(cd "$(dirname "$0")/../.." && pwd)

for tool in lzss listimage sample/generate_bulk; do
    if [ ! -x "$native/$tool" ]; then
        echo "make_e2e_medium.sh: $native/$tool not found (build the native tree first)" >&2
        exit 1
    fi
done
mkdir -p "$out"
bash "$root/sample/make_sample_tree.sh" "$out/sample" "$game_dir" "$native/sample/generate_bulk"
bash "$root/tools/medium/make_medium.sh" --lzss "$native/lzss" --listimage "$native/listimage" \
    --setup "$setup_exe" --iso "$out/medium.iso" "$out/sample" "$out/medium"
