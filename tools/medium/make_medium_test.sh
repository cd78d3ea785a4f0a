#!/usr/bin/env bash
# make_medium_test.sh -- runs make_medium.sh with the real lzss and listimage on a small source
# tree: a good tree gives a complete, checked medium, also from UTF-8 names for a code page;
# faults in the tree stop the build with a message that names them and leave no medium; a build
# that fails or is stopped leaves the earlier medium and image as they were; a damaged medium
# fails --check-only, and so does a disc image that differs from its medium.
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

# The names under $1, hidden ones too, and the SHA-256 of every file: what a build that fails
# must leave as it was.
snapshot() {
    (cd "$1" && find . -print | sort && find . -type f -exec sha256sum {} + | sort)
}

make_tree "$work/good"

current="a good tree gives a complete medium that unpacks to its sources, and its disc image"
run_make_medium --setup "$work/setup.exe" --iso "$work/medium.iso" "$work/good" "$work/medium"
[ "$status" -eq 0 ] || fail "exit status $status: $(cat "$work/stderr")"
grep -qF 'longest name: 23 characters (data\levels\extra\b.trk); setup installs this medium into folders of up to 231 characters, e.g. C:\trv' \
    "$work/stdout" || fail "no longest name in: $(cat "$work/stdout")"
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

current="trailing blank lines end a list, and a name of 248 characters leaves C:\trv room"
tree=$work/roomy
cp -R "$work/good" "$tree"
longest=$(printf 'n%.0s' $(seq 248))
echo 248 > "$tree/files/$longest"
printf '\r\n \r\n\r\n' >> "$tree/lists/typical_install_list.txt"
printf '\n%s\n\n' "$longest" >> "$tree/lists/maximum_install_list.txt"
run_make_medium --setup "$work/setup.exe" "$tree" "$work/medium_roomy"
[ "$status" -eq 0 ] || fail "exit status $status: $(cat "$work/stderr")"
grep -qF "longest name: 248 characters ($longest); setup installs this medium into folders of up to 6 characters" \
    "$work/stdout" || fail "no longest name in: $(cat "$work/stdout")"
[ "$(wc -l < "$work/medium_roomy/typical_install.crc")" -eq 4 ] || fail "sums for blank lines"

# A code page's names: the tree's lists and files are named in UTF-8, the medium in cp1252.
current="with --code-page 1252 a UTF-8 name goes on the medium in the code page's bytes"
tree=$work/accented
cp -R "$work/good" "$tree"
mkdir -p "$tree/files/Docs"
echo 'merci' > "$tree/files/Docs/Crédits.txt"
printf '%s\r\n' 'Docs\Crédits.txt' >> "$tree/lists/typical_install_list.txt"
run_make_medium --code-page 1252 --setup "$work/setup.exe" --iso "$work/accented.iso" "$tree" \
    "$work/medium_accented"
[ "$status" -eq 0 ] || fail "exit status $status: $(cat "$work/stderr")"
tail -n 1 "$work/medium_accented/typical_install_list.txt" |
    cmp -s - <(printf 'Docs\\Cr\xe9dits.txt\r\n') ||
    fail "the list ends in: $(tail -n 1 "$work/medium_accented/typical_install_list.txt" | od -c)"
tail -n 1 "$work/medium_accented/typical_install.crc" | grep -q $'^[0-9a-f]* 6 Docs.Cr\xe9dits.txt\r$' ||
    fail "the sums end in: $(tail -n 1 "$work/medium_accented/typical_install.crc" | od -c)"
"$lzss" "$work/medium_accented/typical_install.qbr" "$work/medium_accented/typical_install_list.txt" \
    "$work/unpacked_accented/" >/dev/null 2>&1 || fail "typical_install.qbr does not unpack"
cmp -s "$tree/files/Docs/Crédits.txt" "$work/unpacked_accented/Docs/Cr"$'\xe9'"dits.txt" ||
    fail "no file named with byte E9: $(ls "$work/unpacked_accented/Docs" | od -c)"
run_make_medium --check-only --code-page 1252 --iso "$work/accented.iso" "$tree" \
    "$work/medium_accented"
[ "$status" -eq 0 ] || fail "--check-only: exit status $status: $(cat "$work/stderr")"

# Faults in the source tree. Each case damages a fresh copy of the good tree in $tree, and may set
# the builder's options; after " ==> " comes the text that the message must hold.
remove_listed_file()  { rm "$tree/files/data/levels/extra/b.trk"; }
add_blank_line()      { printf 'x\r\n\r\ny\r\n' >> "$tree/lists/typical_install_list.txt"; }
add_name_outside()    { printf '\n..\\outside.txt' >> "$tree/lists/maximum_install_list.txt"; }
add_absolute_name()   { printf '\nC:\\trv\\x.txt' >> "$tree/lists/maximum_install_list.txt"; }
add_name_again()      { printf 'GAME_HW.EXE\n' >> "$tree/lists/exe_install_list.txt"; }
add_name_elsewhere()  { printf '\nDOCS/Release Notes.TXT' >> "$tree/lists/maximum_install_list.txt"; }
add_device_name()     { printf '\ndata\\Com1.map' >> "$tree/lists/maximum_install_list.txt"; }
add_windows_names()   { printf '\ndocs\\a<b.txt\nc.txt:d' >> "$tree/lists/maximum_install_list.txt"; }
add_trailing_dot()    { printf '\nx.' >> "$tree/lists/maximum_install_list.txt"; }
add_dotted_twin()     { printf '\nmovies\\intro.mvf.' >> "$tree/lists/maximum_install_list.txt"; }
add_device_folder()   { printf '\ncom1.txt\\a' >> "$tree/lists/maximum_install_list.txt"; }
add_folder_as_file()  { printf '\ndata\\levels' >> "$tree/lists/maximum_install_list.txt"; }
add_long_name()       { printf '\n%0249d' 0 >> "$tree/lists/maximum_install_list.txt"; }
add_utf8_name()       { printf '\nDocs\\Crédits.txt' >> "$tree/lists/maximum_install_list.txt"; }
add_bom()             { printf '\xef\xbb\xbfgame_hw.exe\ngame_sw.exe\n' > "$tree/lists/exe_install_list.txt"; }
add_bom_code_page()   { add_bom; options=(--code-page 1252); }
add_omega()           { printf '\nDocs\\\xce\xa9.txt' >> "$tree/lists/maximum_install_list.txt"
                        options=(--code-page 1252); }
add_latin1_name()     { printf '\nDocs\\Cr\xe9dits.txt' >> "$tree/lists/maximum_install_list.txt"
                        options=(--code-page 1252); }
add_accented_twins()  { mkdir -p "$tree/files/docs"
                        echo 1 > "$tree/files/docs/É.txt"; echo 2 > "$tree/files/docs/é.txt"
                        printf 'docs\\É.txt\r\n' >> "$tree/lists/typical_install_list.txt"
                        printf '\ndocs\\é.txt' >> "$tree/lists/maximum_install_list.txt"
                        options=(--code-page 1252); }
remove_list()         { rm "$tree/lists/maximum_install_list.txt"; }
source_faults=(
    'remove_listed_file ==> data\levels\extra\b.trk'
    'add_blank_line     ==> typical_install_list.txt line 7: y comes after the blank line 6'
    'add_name_outside   ==> maximum_install_list.txt line 2: a ".." part, which leads outside the folder: ..\outside.txt'
    'add_absolute_name  ==> a drive: C:\trv\x.txt'
    'add_name_again     ==> exe_install_list.txt line 3: GAME_HW.EXE is named twice (also line 1)'
    'add_name_elsewhere ==> maximum_install_list.txt line 2: DOCS/Release Notes.TXT is named twice (also line 4 of typical)'
    'add_device_name    ==> a Windows device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9) as a part: data\Com1.map'
    'add_windows_names  ==> a character no Windows name may hold (<>:"|?* or a control character): docs\a<b.txt'
    'add_trailing_dot   ==> a part ending in a dot or a blank, which Windows strips: x.'
    'add_dotted_twin    ==> maximum_install_list.txt line 2: a part ending in a dot or a blank, which Windows strips: movies\intro.mvf.'
    'add_device_folder  ==> as a part: com1.txt\a'
    'add_folder_as_file ==> maximum_install_list.txt line 2: data\levels is a folder, not a file'
    'add_long_name      ==> maximum_install_list.txt line 2: longer than setup can install: 248 characters under C:\trv: 000'
    'add_utf8_name      ==> maximum_install_list.txt line 2: Docs\Crédits.txt is not printable ASCII; the list is UTF-8? use --code-page 1252'
    'add_bom            ==> exe_install_list.txt line 1: a UTF-8 byte order mark'
    'add_bom_code_page  ==> exe_install_list.txt line 1: a UTF-8 byte order mark'
    'add_omega          ==> maximum_install_list.txt line 2: a character code page 1252 lacks: Docs\Ω.txt'
    'add_latin1_name    ==> maximum_install_list.txt line 2 is not valid UTF-8'
    'add_accented_twins ==> maximum_install_list.txt line 2: docs\é.txt is named twice (also line 5 of typical)'
    'remove_list        ==> maximum_install_list.txt is missing'
)
for fault_case in "${source_faults[@]}"; do
    damage=${fault_case%% *}
    current="source fault: $damage"
    tree=$work/faulty
    rm -rf "$tree" "$work/medium_faulty"
    cp -R "$work/good" "$tree"
    options=()
    "$damage"
    run_make_medium "${options[@]}" --setup "$work/setup.exe" "$tree" "$work/medium_faulty"
    expect_failure "${fault_case#* ==> }"
    [ "$status" -eq 2 ] || fail "exit status $status, not 2"
    [ ! -e "$work/medium_faulty" ] || fail "a medium was left behind"
done

current="a failing tool stops the build, its message is shown and no medium is left"
printf '#!/bin/sh\necho "no space left on the device" >&2\nexit 2\n' > "$work/failing_tool"
chmod +x "$work/failing_tool"
run_make_medium --listimage "$work/failing_tool" --setup "$work/setup.exe" "$work/good" \
    "$work/medium_faulty"
expect_failure "no space left on the device"
expect_failure "listimage failed on exe_install_list.txt"
[ ! -e "$work/medium_faulty" ] || fail "a medium was left behind"

current="a missing setup.exe is named"
run_make_medium --setup "$work/no/setup.exe" "$work/good" "$work/medium_faulty"
expect_failure "$work/no/setup.exe"

for code_page in 0 1252//TRANSLIT 99999; do
    current="--code-page $code_page is refused"
    run_make_medium --code-page "$code_page" --setup "$work/setup.exe" "$work/good" \
        "$work/medium_faulty"
    expect_failure "code page"
    [ "$status" -eq 1 ] || fail "exit status $status, not 1"
done

# listimage's own command line: a code page is a number; an image is written only when every
# listed file is there.
current="listimage refuses a code page that is no number, and keeps the image of a list with a missing file"
for code_page in 0 x 65536 ''; do
    "$listimage" --code-page "$code_page" "$work/good/lists/exe_install_list.txt" \
        "$work/good/files/" "$work/exe.install" >/dev/null 2>&1
    status=$?
    [ "$status" -eq 1 ] || fail "--code-page '$code_page': exit status $status, not 1"
done
echo earlier > "$work/exe.install"
printf 'game_hw.exe\nabsent.exe\n' > "$work/absent_list.txt"
"$listimage" --code-page 1252 "$work/absent_list.txt" "$work/good/files/" "$work/exe.install" \
    >/dev/null 2>"$work/stderr"
status=$?
[ "$status" -eq 3 ] || fail "missing file: exit status $status, not 3"
grep -qF 'absent.exe is missing' "$work/stderr" || fail "no missing file in: $(cat "$work/stderr")"
[ "$(cat "$work/exe.install")" = earlier ] || fail "the earlier image was replaced"

# A rebuild that fails or is stopped leaves the earlier medium and disc image as they were, byte
# for byte, and nothing of its own beside them. Each case names the signal it sends once lzss
# waits (or "none") and the hooks it sets; after " ==> " come the status and the text that the
# message must hold.
kept=$work/kept
mkdir -p "$kept" "$work/bin"
run_make_medium --setup "$work/setup.exe" --iso "$kept/medium.iso" "$work/good" "$kept/medium"
[ "$status" -eq 0 ] || fail "the earlier medium: exit status $status: $(cat "$work/stderr")"
snapshot "$kept" > "$work/kept.before"
# lzss as the builder runs it: packs typical_install.qbr whole, then fails, or waits to be stopped.
{
    echo '#!/bin/sh'
    echo 'case "$3:$LZSS_HOOK" in'
    echo "*typical_install.qbr:fail) '$lzss' \"\$@\" >/dev/null; echo 'lzss: disk full' >&2; exit 8 ;;"
    echo "*typical_install.qbr:wait) '$lzss' \"\$@\" >/dev/null; echo \$\$ > '$work/waiting'; exec sleep 60 ;;"
    echo 'esac'
    echo "exec '$lzss' \"\$@\""
} > "$work/bin/lzss"
# mv as the builder runs it: fails the move that MV_HOOK_MATCH matches, or signals the builder
# as it makes it.
{
    echo '#!/bin/sh'
    echo 'case "$*" in'
    echo '$MV_HOOK_MATCH)'
    echo '    [ "$MV_HOOK" != fail ] || { echo "mv: cannot move: Input/output error" >&2; exit 1; }'
    echo '    kill -TERM "$PPID" ;;'
    echo 'esac'
    echo "exec '$(command -v mv)' \"\$@\""
} > "$work/bin/mv"
chmod +x "$work/bin/lzss" "$work/bin/mv"

# Runs the builder with the hooks in the background and sends it the signal $1 (unless "none")
# once lzss waits.
run_hooked() {
    local signal=$1 tries=0 pid
    rm -f "$work/waiting"
    set -m  # the builder in a job of its own, where SIGINT is not ignored
    PATH="$work/bin:$PATH" bash "$make_medium" --lzss "$work/bin/lzss" --listimage "$listimage" \
        --setup "$work/setup.exe" --iso "$kept/medium.iso" "$work/good" "$kept/medium" \
        >"$work/stdout" 2>"$work/stderr" &
    pid=$!
    set +m
    if [ "$signal" != none ]; then
        while [ ! -s "$work/waiting" ] && [ "$tries" -lt 600 ]; do
            sleep 0.1
            tries=$((tries + 1))
        done
        kill -s "$signal" "$pid"
    fi
    wait "$pid"
    status=$?
}

interruptions=(
    'none LZSS_HOOK=fail                           ==> 3 lzss: disk full'
    'TERM LZSS_HOOK=wait                           ==> 143 stopped by signal 15'
    'HUP  LZSS_HOOK=wait                           ==> 129 stopped by signal 1'
    'INT  LZSS_HOOK=wait                           ==> 130 stopped by signal 2'
    'none MV_HOOK=fail MV_HOOK_MATCH=-T*.new.??????\ *   ==> 3 cannot put the new medium in place'
    'none MV_HOOK=fail MV_HOOK_MATCH=-f*.new.??????\ *   ==> 3 cannot put the new medium in place'
    'none MV_HOOK=signal MV_HOOK_MATCH=-T*.new.??????\ * ==> 143 stopped by signal 15'
)
for interruption in "${interruptions[@]}"; do
    current="interrupted rebuild: ${interruption%% ==>*}"
    read -r signal hooks <<< "${interruption%% ==>*}"
    expected=${interruption#*==> }
    (eval "export $hooks"; run_hooked "$signal"; exit "$status")
    status=$?
    [ "$status" -eq "${expected%% *}" ] || fail "exit status $status, not ${expected%% *}"
    expect_failure "${expected#* }"
    snapshot "$kept" | diff "$work/kept.before" - >/dev/null ||
        fail "the earlier medium changed: $(snapshot "$kept" | diff "$work/kept.before" -)"
    if [ -s "$work/waiting" ] && kill -0 "$(cat "$work/waiting")" 2>/dev/null; then
        fail "the waiting lzss still runs"
        kill "$(cat "$work/waiting")"
    fi
done

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
