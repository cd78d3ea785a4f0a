#!/usr/bin/env bash
# make_medium_test.sh -- runs make_medium.sh with the real lzss and listimage on a small source
# tree: a good tree gives a complete, checked medium; faults in the tree stop the build with a
# message that names them and leave no medium; a damaged medium fails --check-only, and so does a
# disc image that differs from its medium.
#
#   make_medium_test.sh LZSS LISTIMAGE
set -uo pipefail
export LC_ALL=C

if [ $# -ne 2 ]; then
    echo "usage: $0 LZSS LISTIMAGE" >&2
    exit 2
fi
lzss=$1
listimage=$2
make_medium=$(cd "$(dirname "$0")" && pwd)/make_medium.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
    echo "FAIL: $current: $*"
    failures=$((failures + 1))
}

# A tree with nested folders, a name with a blank, an empty file, text that packs well and
# numbers that pack less well; the typical list has CRLF line ends.
make_tree() {
    local tree=$1
    mkdir -p "$tree/lists" "$tree/files/data/levels/extra" "$tree/files/docs" "$tree/files/movies"
    printf 'MZ stand-in %s\n' hw > "$tree/files/game_hw.exe"
    printf 'MZ stand-in %s\n' sw > "$tree/files/game_sw.exe"
    seq 1 4000 | awk '{ print $1 * 7919 % 10007, $1 * 104729 % 65521 }' \
        > "$tree/files/data/levels/a.map"
    yes 'segment x=100 y=200 z=30 width=16' | head -n 500 > "$tree/files/data/levels/extra/b.trk"
    : > "$tree/files/data/empty.flag"
    echo 'notes' > "$tree/files/docs/release notes.txt"
    seq 1 3000 | awk '{ print $1 * 31337 % 65537 }' > "$tree/files/movies/intro.mvf"
    printf 'game_hw.exe\ngame_sw.exe\n' > "$tree/lists/exe_install_list.txt"
    printf '%s\r\n' 'data\levels\a.map' 'data\levels\extra\b.trk' 'data\empty.flag' \
        'docs\release notes.txt' > "$tree/lists/typical_install_list.txt"
    printf 'movies\\intro.mvf' > "$tree/lists/maximum_install_list.txt"
    echo 'MZ setup' > "$work/setup.exe"
}

# Runs make_medium.sh; its status goes to $status, its standard error to $work/stderr.
run_make_medium() {
    bash "$make_medium" --lzss "$lzss" --listimage "$listimage" "$@" \
        >"$work/stdout" 2>"$work/stderr"
    status=$?
}

expect_failure() {
    local expected_text=$1
    [ "$status" -ne 0 ] || fail "exit status 0"
    grep -qF -- "$expected_text" "$work/stderr" ||
        fail "no \"$expected_text\" in: $(cat "$work/stderr")"
}

make_tree "$work/good"

current="a good tree gives a complete medium that unpacks to its sources, and its disc image"
run_make_medium --setup "$work/setup.exe" --iso "$work/medium.iso" "$work/good" "$work/medium"
[ "$status" -eq 0 ] || fail "exit status $status: $(cat "$work/stderr")"
ls "$work/medium" > "$work/names"
printf '%s\n' exe_install.crc exe_install.qbr exe_install_list.install exe_install_list.txt \
    maximum_install.crc maximum_install.qbr maximum_install_list.install \
    maximum_install_list.txt setup.exe typical_install.crc typical_install.qbr \
    typical_install_list.install typical_install_list.txt | diff - "$work/names" >/dev/null ||
    fail "medium holds: $(tr '\n' ' ' < "$work/names")"
grep -q '^  total  *7 ' "$work/stdout" || fail "no total of 7 files in: $(cat "$work/stdout")"
"$lzss" "$work/medium/typical_install.qbr" "$work/medium/typical_install_list.txt" \
    "$work/unpacked/" >/dev/null 2>&1 || fail "typical_install.qbr does not unpack"
for name in data/levels/a.map data/levels/extra/b.trk data/empty.flag 'docs/release notes.txt'; do
    cmp -s "$work/good/files/$name" "$work/unpacked/$name" || fail "$name unpacks differently"
done

current="the sums give each listed file's CRC-32 and size, in list order"
# (zlib.crc32 of "MZ stand-in hw\n" and "MZ stand-in sw\n")
printf '%s\r\n' '85a04542 15 game_hw.exe' '95d309d3 15 game_sw.exe' |
    cmp -s - "$work/medium/exe_install.crc" ||
    fail "exe_install.crc holds: $(od -c "$work/medium/exe_install.crc" | head -5)"
[ "$(wc -l < "$work/medium/typical_install.crc")" -eq 4 ] || fail "typical_install.crc: not 4 lines"
grep -q '^00000000 0 data\\empty.flag'$'\r''$' "$work/medium/typical_install.crc" ||
    fail "no line for the empty file in: $(cat "$work/medium/typical_install.crc")"

current="a rebuild leaves no file of the earlier medium, and the same disc image"
touch "$work/medium/typical_install.qbr.partial"
mv "$work/medium.iso" "$work/first.iso"
sleep 1
run_make_medium --setup "$work/setup.exe" --iso "$work/medium.iso" "$work/good" "$work/medium"
[ "$status" -eq 0 ] || fail "exit status $status: $(cat "$work/stderr")"
[ ! -e "$work/medium/typical_install.qbr.partial" ] || fail "the stale file is still there"
cmp -s "$work/first.iso" "$work/medium.iso" || fail "the two disc images differ"

current="a medium folder holding other files is not emptied"
mkdir -p "$work/busy" && echo keep > "$work/busy/mine.txt"
run_make_medium --setup "$work/setup.exe" "$work/good" "$work/busy"
expect_failure "mine.txt"
[ -f "$work/busy/mine.txt" ] || fail "mine.txt was deleted"

# Faults in the source tree. Each case damages a fresh copy of the good tree in $tree; after
# " ==> " comes the text that the message must hold.
remove_listed_file()  { rm "$tree/files/data/levels/extra/b.trk"; }
add_blank_line()      { printf 'x\r\n\r\ny\r\n' >> "$tree/lists/typical_install_list.txt"; }
add_name_outside()    { printf '\n..\\outside.txt' >> "$tree/lists/maximum_install_list.txt"; }
add_absolute_name()   { printf '\nC:\\trv\\x.txt' >> "$tree/lists/maximum_install_list.txt"; }
add_name_again()      { printf 'GAME_HW.EXE\n' >> "$tree/lists/exe_install_list.txt"; }
add_device_name()     { printf '\ndata\\Com1.map' >> "$tree/lists/maximum_install_list.txt"; }
add_windows_names()   { printf '\ndocs\\a<b.txt\nc.txt:d' >> "$tree/lists/maximum_install_list.txt"; }
add_trailing_dot()    { printf '\nx.' >> "$tree/lists/maximum_install_list.txt"; }
add_device_folder()   { printf '\ncom1.txt\\a' >> "$tree/lists/maximum_install_list.txt"; }
add_folder_as_file()  { printf '\ndata\\levels' >> "$tree/lists/maximum_install_list.txt"; }
remove_list()         { rm "$tree/lists/maximum_install_list.txt"; }
source_faults=(
    'remove_listed_file ==> data\levels\extra\b.trk'
    'add_blank_line     ==> line 6: blank line'
    'add_name_outside   ==> line 2: a ".." part, which leads outside the folder: ..\outside.txt'
    'add_absolute_name  ==> a drive: C:\trv\x.txt'
    'add_name_again     ==> GAME_HW.EXE is named twice'
    'add_device_name    ==> a Windows device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9) as a part: data\Com1.map'
    'add_windows_names  ==> a character no Windows name may hold (<>:"|?* or a control character): docs\a<b.txt'
    'add_trailing_dot   ==> a part ending in a dot or a blank, which Windows strips: x.'
    'add_device_folder  ==> as a part: com1.txt\a'
    'add_folder_as_file ==> data\levels is a folder, not a file'
    'remove_list        ==> maximum_install_list.txt is missing'
)
for fault_case in "${source_faults[@]}"; do
    damage=${fault_case%% *}
    current="source fault: $damage"
    tree=$work/faulty
    rm -rf "$tree" "$work/medium_faulty"
    cp -R "$work/good" "$tree"
    "$damage"
    run_make_medium --setup "$work/setup.exe" "$tree" "$work/medium_faulty"
    expect_failure "${fault_case#* ==> }"
    [ ! -e "$work/medium_faulty" ] || fail "a medium was left behind"
done

current="a failing tool stops the build, its message is shown and no medium is left"
printf '#!/bin/sh\necho "no space left on the device" >&2\nexit 2\n' > "$work/failing_tool"
chmod +x "$work/failing_tool"
run_make_medium --listimage "$work/failing_tool" --setup "$work/setup.exe" "$work/good" \
    "$work/medium_faulty"
expect_failure "no space left on the device"
[ ! -e "$work/medium_faulty" ] || fail "a medium was left behind"

current="a missing setup.exe is named"
run_make_medium --setup "$work/no/setup.exe" "$work/good" "$work/medium_faulty"
expect_failure "$work/no/setup.exe"

# The build above left a good medium in $work/medium.
current="the check passes on the medium and the disc image as built"
run_make_medium --check-only --iso "$work/medium.iso" "$work/good" "$work/medium"
[ "$status" -eq 0 ] || fail "exit status $status: $(cat "$work/stderr")"

# Damage to a medium: each case damages a copy of the good medium in $medium.
flip_archive_byte()   { printf 'X' | dd of="$medium/typical_install.qbr" bs=1 seek=2000 \
                                        conv=notrunc 2>/dev/null; }
truncate_archive()    { truncate -s 1000 "$medium/typical_install.qbr"; }
remove_image()        { rm "$medium/exe_install_list.install"; }
change_list()         { printf 'movies\\intro.mvf\n' > "$medium/maximum_install_list.txt"; }
change_setup()        { echo 'MZ other setup' > "$medium/setup.exe"; }
change_sums()         { sed -i '2s/^......../12345678/' "$medium/typical_install.crc"; }
remove_sums()         { rm "$medium/maximum_install.crc"; }
damaged_media=(
    'flip_archive_byte ==> typical_install.qbr: data\levels\a.map differs'
    'truncate_archive  ==> typical_install.qbr does not unpack'
    'remove_image      ==> exe_install_list.install is missing'
    'change_list       ==> maximum_install_list.txt differs'
    'change_setup      ==> setup.exe differs on the disc image'
    'change_sums       ==> typical_install.crc does not give the sums'
    'remove_sums       ==> maximum_install.crc is missing'
)
for damage_case in "${damaged_media[@]}"; do
    damage=${damage_case%% *}
    current="damaged medium: $damage"
    medium=$work/damaged
    rm -rf "$medium"
    cp -R "$work/medium" "$medium"
    "$damage"
    run_make_medium --check-only --iso "$work/medium.iso" "$work/good" "$medium"
    expect_failure "${damage_case#* ==> }"
done

if [ "$failures" -ne 0 ]; then
    echo "$failures failures"
    exit 1
fi
echo "make_medium.sh: all cases passed"
