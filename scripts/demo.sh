#!/usr/bin/env bash
# demo.sh -- builds lzss, packs the sample patch from the repository into a QBR archive, unpacks
# it into a fresh folder and shows that both trees are identical.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRV_BUILD_TESTS=OFF >/dev/null
cmake --build build/release --target lzss

lzss=$PWD/build/release/lzss
demo=out/demo
rm -rf "$demo"
mkdir -p "$demo"

echo
echo "== Packing sample/patch into $demo/sample.qbr"
"$lzss" 'sample\patch\' sample/patch_files.txt "$demo/sample.qbr"

echo
echo "== Unpacking into $demo/unpacked/"
"$lzss" "$demo/sample.qbr" sample/patch_files.txt "$demo/unpacked/"

echo
input_bytes=$(cat sample/patch_files.txt | tr '\\' '/' | (cd sample/patch && xargs -d '\n' cat) | wc -c)
archive_bytes=$(wc -c < "$demo/sample.qbr")
echo "== $(wc -l < sample/patch_files.txt) files, $input_bytes bytes packed into $archive_bytes bytes"
if diff -r sample/patch "$demo/unpacked"; then
    echo "== The unpacked tree is identical to sample/patch."
else
    echo "== The unpacked tree differs from sample/patch." >&2
    exit 1
fi
