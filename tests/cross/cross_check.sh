#!/usr/bin/env bash
# cross_check.sh -- the native lzss and lzss.exe under Wine pack the same tree into
# byte-identical archives, and each unpacks the other's archive back into the tree.
#   cross_check.sh NATIVE_LZSS WINDOWS_LZSS WINE_EXEC INPUT_FOLDER
set -euo pipefail

native=$1
windows=$2
wine_exec=$3
inputs=$4

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# A tree with nested folders, a blank in a name, an empty file and files around the window size.
mkdir -p "$scratch/tree/maps/deep" "$scratch/tree/sound fx"
cp "$inputs"/* "$scratch/tree/"
cp "$inputs/text4097.txt" "$scratch/tree/maps/deep/level 1.txt"
cp "$inputs/lcg.bin" "$scratch/tree/sound fx/hit.wav"
: > "$scratch/tree/maps/empty.dat"
# "\" between folders, but "/" in the names under "sound fx": both separate folders on both hosts.
(cd "$scratch/tree" && find . -type f | sed 's|^\./||' | sort | tr '/' '\\' |
    sed 's|^sound fx\\|sound fx/|') > "$scratch/list.txt"
cd "$scratch"

fail() {
    echo "cross_check: $*" >&2
    exit 1
}

"$native" 'tree\' list.txt native.qbr > native.out
"$wine_exec" "$windows" 'tree\' list.txt windows.qbr > windows.out
cmp native.qbr windows.qbr || fail "the archives differ"
diff <(tr -d '\r' < windows.out) native.out || fail "the progress lines differ"

"$native" windows.qbr list.txt 'from-windows\' > /dev/null
"$wine_exec" "$windows" native.qbr list.txt 'from-native\' > /dev/null
diff -r tree from-windows || fail "the native lzss did not restore the tree from lzss.exe's archive"
diff -r tree from-native || fail "lzss.exe did not restore the tree from the native archive"
# An archive over 4 MiB, unpacked by lzss.exe with its decoder on a second thread.
head -c 3900000 /dev/urandom > big.bin
printf 'big.bin\n' > big.txt
"$native" ./ big.txt big.qbr > /dev/null
[ "$(wc -c < big.qbr)" -gt 4194304 ] || fail "big.qbr is not over 4 MiB"
LZSS_THREADS=2 "$wine_exec" "$windows" big.qbr big.txt 'piped\' > /dev/null
cmp big.bin piped/big.bin || fail "lzss.exe on two threads did not restore a large archive"
# A Windows device name is refused by both, before anything is written.
printf 'maps\\empty.dat\nmaps\\Nul.txt\n' > device.txt
for tool in native windows; do
    status=0
    if [ "$tool" = native ]; then
        "$native" native.qbr device.txt "device-$tool\\" >/dev/null 2>&1 || status=$?
    else
        "$wine_exec" "$windows" native.qbr device.txt "device-$tool\\" >/dev/null 2>&1 || status=$?
    fi
    [ "$status" -eq 12 ] || fail "$tool lzss gave status $status for a device name, not 12"
    [ ! -e "device-$tool" ] || fail "$tool lzss wrote files for a list with a device name"
done
echo "cross_check: $(wc -l < list.txt) files, archives identical ($(wc -c < native.qbr) bytes)"
