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
# Runs the native lzss or lzss.exe ($1, "native" or "windows") with the other arguments: its
# status in `status`, its messages in tool.err (without carriage returns), its progress lines in
# tool.out.
run_tool() {
    local tool=$1
    shift
    status=0
    if [ "$tool" = native ]; then
        "$native" "$@" > tool.out 2> tool.raw || status=$?
    else
        "$wine_exec" "$windows" "$@" > tool.out 2> tool.raw || status=$?
    fi
    tr -d '\r' < tool.raw > tool.err
}
# Everything in the scratch folder but the tool's own output.
listing() { find . ! -name 'tool.*' | sort; }

# A Windows device name is refused by both, before anything is written, also with a colon
# behind it.
for name in 'maps\Nul.txt' 'nul:' 'maps\aux:' 'NUL:.txt'; do
    printf 'maps\\empty.dat\n%s\n' "$name" > device.txt
    for tool in native windows; do
        run_tool "$tool" native.qbr device.txt "device-$tool\\"
        [ "$status" -eq 12 ] || fail "$tool lzss gave status $status for the entry $name, not 12"
        [ ! -e "device-$tool" ] || fail "$tool lzss wrote files for a list with the entry $name"
    done
done
# lzss.exe refuses a device as the archive, before it reads or writes anything, as the native
# lzss refuses /dev/full; a pipe both refuse.
mkdir sub
mkfifo pipe.qbr
for archive in nul.qbr AUX.qbr 'sub\nul.qbr' nul:.qbr 'NUL:.qbr' Con.Qbr pipe.qbr; do
    for tool in windows native; do
        [ "$tool" = native ] && [ "$archive" != pipe.qbr ] && continue
        before=$(listing)
        run_tool "$tool" 'tree\' list.txt "$archive"
        [ "$status" -eq 6 ] || fail "$tool lzss gave status $status for the archive $archive, not 6"
        [ ! -s tool.out ] || fail "$tool lzss packed files into the archive $archive"
        message="Fatal compression error, could not open files list.txt and $archive."
        # The message first; the host's reason, in its own words, may follow.
        [ "$(head -n 1 tool.err)" = "$message" ] || fail "$tool lzss said for $archive: $(cat tool.err)"
        [ "$before" = "$(listing)" ] || fail "$tool lzss left files behind for the archive $archive"
    done
done
[ -p pipe.qbr ] || fail "a pack replaced the pipe pipe.qbr"
# Wine shows a Unix link to a folder as a reparse point: both refuse to unpack through it.
mkdir elsewhere
printf 'maps\\empty.dat\n' > linked.txt
for tool in native windows; do
    mkdir "linked-$tool"
    ln -s ../elsewhere "linked-$tool/maps"
    run_tool "$tool" native.qbr linked.txt "linked-$tool\\"
    [ "$status" -eq 3 ] || fail "$tool lzss gave status $status for a linked folder, not 3"
    [ -z "$(ls elsewhere)" ] || fail "$tool lzss wrote through a link to a folder"
done
# A link to that folder where a file goes: the native lzss puts the file in the link's place;
# lzss.exe refuses it (Wine's RemoveDirectoryA would remove the folder, not the link).
printf 'maps\n' > in-place.txt
for tool in native windows; do
    run_tool "$tool" native.qbr in-place.txt "linked-$tool\\"
    if [ "$tool" = native ]; then expected=0; else expected=4; fi
    [ "$status" -eq "$expected" ] ||
        fail "$tool lzss gave status $status for a link to a folder in a file's place"
    [ -d elsewhere ] && [ -z "$(ls elsewhere)" ] || fail "$tool lzss wrote through a folder link"
done
[ -f linked-native/maps ] || fail "the native lzss left the link to a folder in a file's place"
[ -L linked-windows/maps ] || fail "lzss.exe removed the link to a folder in a file's place"
echo "cross_check: $(wc -l < list.txt) files, archives identical ($(wc -c < native.qbr) bytes)"
