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

# A second medium, whose lists are in Windows code page 1252: the typical group holds a name
# outside ASCII, which setup must create under the same letters.
cp1252=$out/sample-cp1252
rm -rf "$cp1252"
mkdir -p "$cp1252/lists" "$cp1252/files/docs"
for name in trv99hw.exe trv99sw.exe readme.txt docs/changes.txt; do
    cp "$out/sample/files/$name" "$cp1252/files/$name"
done
printf 'Credits: the TRV99 patch team.\r\n' > "$cp1252/files/docs/Crédits.txt"
printf 'trv99hw.exe\r\ntrv99sw.exe\r\n' > "$cp1252/lists/exe_install_list.txt"
printf 'readme.txt\r\ndocs\\Crédits.txt\r\n' > "$cp1252/lists/typical_install_list.txt"
printf 'docs\\changes.txt\r\n' > "$cp1252/lists/maximum_install_list.txt"
bash "$root/tools/medium/make_medium.sh" --code-page 1252 --lzss "$native/lzss" \
    --listimage "$native/listimage" --setup "$setup_exe" "$cp1252" "$out/cp1252-medium"
