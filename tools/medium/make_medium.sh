#!/usr/bin/env bash
# make_medium.sh -- builds the distribution medium of a patch from its source tree, then checks
# it: every archive is unpacked again and compared with the files it was made from.
#
#   make_medium.sh [--lzss PATH] [--listimage PATH] [--setup PATH] [--iso FILE] [--code-page N]
#                  SOURCE_TREE MEDIUM_DIR
#   make_medium.sh --check-only [same options] SOURCE_TREE MEDIUM_DIR
#
# SOURCE_TREE holds lists/exe_install_list.txt, lists/typical_install_list.txt and
# lists/maximum_install_list.txt, and files/ with every listed file under its list name ("\"
# between folders). The tools default to $LZSS, $LISTIMAGE and $SETUP_EXE; the installed copy of
# this script (trv99-medium, made by cmake --install) then takes lzss and listimage from its own
# folder and, to build a medium, setup.exe from the installed data folder.
#
# The medium is one folder: per group (exe, typical, maximum) the file list, its archive
# GROUP_install.qbr, its sums GROUP_install.crc and its list image GROUP_install_list.install, and
# setup.exe. A sums file has one line per list entry, in list order: the CRC-32 of the file (IEEE,
# as zlib's crc32) in 8 lower-case hex digits, its size in bytes in decimal and its list name, one
# blank between them, each line ended by CR LF; setup refuses a file whose CRC or size differs
# from its line.
#
# Names: setup reads a list's bytes as names of the Windows code page it runs under. Without
# --code-page the lists must be printable ASCII. With --code-page N the source tree's lists and
# its files/ tree are named in UTF-8, as written on Linux: each list is converted to code page N
# (iconv), and the medium gets the converted lists; the archives and images are made from a
# staging folder whose names carry the code page's bytes (links to the UTF-8 files). What a name
# may be is listimage's rule; the builder adds that no name is listed twice across the lists, in
# any case (with a code page, as Windows folds the letters of the names).
#
# The last good medium is never lost: the new one is built in a fresh folder beside MEDIUM_DIR
# and checked there, and only then takes its place (the earlier one is renamed aside, the new
# one renamed in, the earlier one removed); the disc image likewise. A build that fails or is
# stopped (SIGINT, SIGTERM, SIGHUP) removes only its own work. MEDIUM_DIR may hold nothing but
# medium files, so that a wrong path cannot replace anything else.
#
# --iso FILE also writes the medium as a disc image: ISO 9660 with Joliet names (which Windows
# reads, so "typical_install_list.install" keeps its name) and Rock Ridge names, the volume label
# TRV99_PATCH_V1_1 and an autorun.inf that starts setup.exe. Its dates are fixed
# ($SOURCE_DATE_EPOCH, by default the patch's release day), so the same medium always gives the
# same bytes. The image is then read back with Joliet names and compared file by file with the
# medium folder.
#
# --check-only checks an existing medium against the source tree (its sums too) and changes
# nothing; without --setup it only checks that setup.exe is there, and with --iso it checks that
# image too.
#
# Status: 0 medium built (or checked) and good; 1 usage or a tool missing; 2 the source tree is
# wrong (list, name or file); 3 a tool failed while building; 4 the check found a fault; 128 + the
# signal's number when stopped by one.
set -uo pipefail
export LC_ALL=C

GROUPS_IN_ORDER=(exe typical maximum)
MEDIUM_FILES=(exe_install_list.txt typical_install_list.txt maximum_install_list.txt
              exe_install.qbr typical_install.qbr maximum_install.qbr
              exe_install.crc typical_install.crc maximum_install.crc
              exe_install_list.install typical_install_list.install maximum_install_list.install
              setup.exe)
INSTALL_PATH_CHARS=256   # setup's path buffers, the terminating NUL included
DEFAULT_INSTALL_FOLDER='C:\trv'
UTF8_BOM=$'\xef\xbb\xbf'
ISO_LABEL=TRV99_PATCH_V1_1
ISO_DATE_EPOCH=${SOURCE_DATE_EPOCH:-941414400}  # 1999-11-01 00:00 UTC

# The installed copy's setup.exe, relative to its own folder; cmake --install fills it in.
installed_setup_path=

program=${0##*/}
lzss=${LZSS:-}
listimage=${LISTIMAGE:-}
setup_exe=${SETUP_EXE:-}
iso=
check_only=0
code_page=
# Our own work, removed on every way out: the scratch folder, the new medium while it is not in
# place, the image being written, the running tool; after the new medium took its place, the
# earlier medium and image set aside.
scratch=
work=
iso_partial=
tool_pid=
old_medium=
old_iso=
committed=0

say() { echo "$program: $*" >&2; }
die() { say "$2"; exit "$1"; }

usage() {
    sed -n '5,7p' "$0" | sed "s/^#   //; s/make_medium\.sh/$program/" >&2
    exit 1
}

# Ends the running tool, if any, before its folder is removed under it.
stop_tool() {
    [ -n "$tool_pid" ] || return 0
    kill "$tool_pid" 2>/dev/null
    wait "$tool_pid" 2>/dev/null
    tool_pid=
}

cleanup() {
    local status=$?
    trap '' INT TERM HUP
    stop_tool
    [ -z "$scratch" ] || rm -rf "$scratch"
    [ -z "$work" ] || rm -rf "$work"
    [ -z "$iso_partial" ] || rm -f "$iso_partial"
    if [ "$committed" -eq 1 ]; then
        [ -z "$old_medium" ] || rm -rf "$old_medium"
        [ -z "$old_iso" ] || rm -f "$old_iso"
    fi
    if [ "$status" -ne 0 ] && [ "$check_only" -eq 0 ] && [ "$committed" -eq 0 ] &&
       [ -n "$work" ]; then
        say "nothing was changed in $medium${iso:+ or $iso}"
    fi
}

on_signal() {
    say "stopped by signal $1"
    exit $((128 + $1))
}

set_signal_traps() {
    trap 'on_signal 1' HUP
    trap 'on_signal 2' INT
    trap 'on_signal 15' TERM
}

# Runs a tool with its output in the log $1 and returns its status. The tool runs in the
# background so that a signal to the builder is acted on at once, and the tool ended with it.
run_logged() {
    local log=$1 status
    shift
    "$@" >"$log" 2>&1 </dev/null &
    tool_pid=$!
    wait "$tool_pid"
    status=$?
    tool_pid=
    return "$status"
}

# Runs a tool with its output kept in the scratch log; on failure shows the log and stops.
run_tool() {
    local what=$1
    shift
    if ! run_logged "$scratch/tool.log" "$@"; then
        say "$what failed:"
        sed 's/^/    /' "$scratch/tool.log" >&2
        exit 3
    fi
}

# --- source tree checks ---
#
# Per group the scratch folder gets lists/GROUP.txt, the list as the medium carries it (the
# source list, or its conversion to the code page), and the list's names up to its end (the
# first blank line), one a line without CR: names/GROUP.src as in the source tree (and files/),
# names/GROUP.cp as on the medium.

# The line of the file $1 that holds byte offset $2 (from 0).
line_of_offset() { head -c "$2" "$1" | wc -l | awk '{ print $1 + 1 }'; }

# Line $2 of the file $1, without its CR.
line_text() { sed -n "$2{s/\r\$//;p;q}" "$1"; }

# The line of the list $1 where iconv stopped, by the byte offset in its message; $2 bytes of the
# list were not given to it.
line_iconv_stopped() {
    local offset
    offset=$(sed -n 's/.* at position \([0-9]*\).*/\1/p' "$scratch/iconv.log")
    line_of_offset "$1" $((${offset:-0} + $2))
}

# Converts the UTF-8 list $1 to the code page into $2, saying which line cannot be converted. A
# byte order mark stays as it is, for listimage to name.
convert_list() {
    local list=$1 out=$2 name=${1##*/} bom= line
    [ "$(head -c 3 "$list")" != "$UTF8_BOM" ] || bom=$UTF8_BOM
    if ! tail -c +$((${#bom} + 1)) "$list" | iconv -f UTF-8 -t UTF-8 >/dev/null \
            2>"$scratch/iconv.log"; then
        line=$(line_iconv_stopped "$list" ${#bom})
        say "$name line $line is not valid UTF-8:" \
            "$(line_text "$list" "$line" | iconv -f UTF-8 -t UTF-8 -c)"
        return 1
    fi
    { printf '%s' "$bom"; tail -c +$((${#bom} + 1)) "$list" | iconv -f UTF-8 -t "CP$code_page"; } \
        >"$out" 2>"$scratch/iconv.log" && return 0
    line=$(line_iconv_stopped "$list" ${#bom})
    say "$name line $line: a character code page $code_page lacks: $(line_text "$list" "$line")"
    return 1
}

# Copies the list $1 to $2, refusing a byte outside ASCII: such a list was written in some
# encoding, which setup would read as its code page.
copy_ascii_list() {
    local list=$1 out=$2 found
    if [ "$(head -c 3 "$list")" != "$UTF8_BOM" ]; then
        found=$(grep -n -m 1 $'[\x80-\xff]' "$list")
        if [ -n "$found" ]; then
            found=${found%$'\r'}
            say "${list##*/} line ${found%%:*}: ${found#*:} is not printable ASCII;" \
                "the list is UTF-8? use --code-page 1252"
            return 1
        fi
    fi
    cp "$list" "$out" || die 3 "cannot copy ${list##*/}"
}

# Sets `problem` to the first name of the list $1 that listimage refuses ("LIST line N: why",
# LIST being $2); empty when it refuses none. A listimage that fails otherwise stops the build.
names_problem() {
    local list=$1 shown=$2 status
    problem=
    run_logged "$scratch/names.log" "$listimage" ${code_page:+--code-page "$code_page"} \
        "$list" "$files_dir/" "$scratch/names.install"
    status=$?
    if [ "$status" -eq 2 ] && grep -q '^listimage: .*, line [0-9]*: ' "$scratch/names.log"; then
        problem=$(sed -n "s/^listimage: .*, line \([0-9]*\): /$shown line \1: /p" \
                      "$scratch/names.log" | head -n 1)
        [ -z "$code_page" ] ||
            problem=$(printf '%s' "$problem" | iconv -f "CP$code_page" -t UTF-8 -c)
    elif [ "$status" -ne 0 ] && [ "$status" -ne 3 ]; then
        say "listimage failed on $shown:"
        sed 's/^/    /' "$scratch/names.log" >&2
        exit 3
    fi
}

# Writes the names of the list $1 up to its end, without CR, to $2.
list_names() {
    local line
    while IFS= read -r line || [ -n "$line" ]; do
        line=${line%$'\r'}
        [[ $line =~ ^[[:space:]]*$ ]] && break
        printf '%s\n' "$line"
    done < "$1" > "$2"
}

# Checks one group's list: its encoding and its names. Returns non-zero after saying what is wrong.
check_list() {
    local group=$1 list="$source_tree/lists/$1_install_list.txt" medium_list problem
    medium_list=$scratch/lists/$group.txt
    if [ ! -f "$list" ]; then say "$group: $list is missing"; return 1; fi
    if [ -n "$code_page" ]; then
        convert_list "$list" "$medium_list" || return 1
    else
        copy_ascii_list "$list" "$medium_list" || return 1
    fi
    names_problem "$medium_list" "${list##*/}"
    if [ -n "$problem" ]; then say "$problem"; return 1; fi
    list_names "$list" "$scratch/names/$group.src"
    list_names "$medium_list" "$scratch/names/$group.cp"
    if [ ! -s "$scratch/names/$group.src" ] && [ "$group" != maximum ]; then
        say "${list##*/} names no files"
        return 1
    fi
}

# Sets `folded` to the name $1 as Windows compares names: letters in one case, "/" as "\". With
# a code page the UTF-8 names are folded as such, so that "É" and "é" meet.
fold_name() {
    folded=${1//\//\\}
    [ -z "$code_page" ] || local LC_ALL=C.UTF-8
    folded=${folded,,}
}

# Says each name listed twice across the lists, and each listed name that is no file in files/.
check_names_and_files() {
    local group name number folded bad=0 path
    declare -A seen=()
    for group in "${GROUPS_IN_ORDER[@]}"; do
        number=0
        while IFS= read -r name; do
            number=$((number + 1))
            fold_name "$name"
            if [ -n "${seen[$folded]:-}" ]; then
                say "${group}_install_list.txt line $number: $name is named twice" \
                    "(also ${seen[$folded]})"
                bad=1
            fi
            seen[$folded]="line $number of $group"
            path=$files_dir/${name//\\//}
            if [ -d "$path" ]; then
                say "${group}_install_list.txt line $number: $name is a folder, not a file"
                bad=1
            elif [ ! -f "$path" ]; then
                say "${group}_install_list.txt line $number: listed file missing: $name (no $path)"
                bad=1
            fi
        done < "$scratch/names/$group.src"
    done
    return "$bad"
}

check_source_tree() {
    [ -d "$files_dir" ] || die 2 "$files_dir is not a folder"
    mkdir -p "$scratch/lists" "$scratch/names" || die 3 "cannot use the scratch folder $scratch"
    local group bad=0
    for group in "${GROUPS_IN_ORDER[@]}"; do
        check_list "$group" || bad=1
    done
    [ "$bad" -eq 1 ] || check_names_and_files || bad=1
    [ "$bad" -eq 0 ] || die 2 "the source tree $source_tree is not ready; nothing was built"
}

# Where lzss and listimage read the files under the medium's names: files/ itself, or with a code
# page a staging folder of links named with the code page's bytes.
make_pack_folder() {
    pack_dir=$files_dir
    [ -n "$code_page" ] || return 0
    pack_dir=$scratch/staging
    local group src name files_abs folder
    files_abs=$(cd "$files_dir" && pwd -P) || die 3 "cannot find $files_dir"
    for group in "${GROUPS_IN_ORDER[@]}"; do
        while IFS= read -r src <&3 && IFS= read -r name <&4; do
            name=$pack_dir/${name//\\//}
            folder=${name%/*}
            [ -d "$folder" ] || mkdir -p "$folder" || die 3 "cannot create $folder"
            ln -s "$files_abs/${src//\\//}" "$name" || die 3 "cannot link $name"
        done 3<"$scratch/names/$group.src" 4<"$scratch/names/$group.cp"
    done
}

# --- building ---

# Refuses a MEDIUM_DIR that is no folder, or holds anything a medium build did not make.
check_target() {
    local entry known name
    if [ -e "$medium" ] && [ ! -d "$medium" ]; then die 1 "$medium is not a folder"; fi
    [ -d "$medium" ] || return 0
    for entry in "$medium"/* "$medium"/.[!.]*; do
        [ -e "$entry" ] || [ -L "$entry" ] || continue
        known=0
        for name in "${MEDIUM_FILES[@]}"; do
            case "${entry##*/}" in "$name" | "$name.partial"*) known=1 ;; esac
        done
        [ "$known" -eq 1 ] ||
            die 1 "refusing to replace $medium: it holds ${entry##*/}, which is not a medium file"
    done
}

# The CRC-32 of the file $1 in 8 hex digits: the one gzip keeps at the end of what it writes, its
# low byte first.
crc_of() {
    local bytes
    bytes=($(gzip -1 -c < "$1" | tail -c 8 | od -An -tu1)) || return 1
    [ ${#bytes[@]} -eq 8 ] || return 1
    printf '%02x%02x%02x%02x' "${bytes[3]}" "${bytes[2]}" "${bytes[1]}" "${bytes[0]}"
}

# Writes to standard output the sums of the group $1, from the source tree's files.
write_sums() {
    local src name path crc
    while IFS= read -r src <&3 && IFS= read -r name <&4; do
        path=$files_dir/${src//\\//}
        crc=$(crc_of "$path") || return 1
        printf '%s %d %s\r\n' "$crc" "$(wc -c < "$path")" "$name"
    done 3<"$scratch/names/$1.src" 4<"$scratch/names/$1.cp"
}

# Builds the new medium in $work, a fresh folder beside MEDIUM_DIR.
build_medium() {
    local group list parent=${medium%/*}
    [ "$parent" != "$medium" ] || parent=.
    mkdir -p "$parent" || die 3 "cannot create $parent"
    work=$(mktemp -d "$parent/.${medium##*/}.new.XXXXXX") ||
        die 3 "cannot create a folder in $parent"
    chmod "$(umask -S)" "$work"
    for group in "${GROUPS_IN_ORDER[@]}"; do
        list=$work/${group}_install_list.txt
        cp "$scratch/lists/$group.txt" "$list" || die 3 "cannot copy the $group list"
        run_tool "packing ${group}_install.qbr" \
            "$lzss" "$pack_dir/" "$list" "$work/${group}_install.qbr"
        write_sums "$group" > "$work/${group}_install.crc" ||
            die 3 "cannot write ${group}_install.crc"
        run_tool "making ${group}_install_list.install" \
            "$listimage" ${code_page:+--code-page "$code_page"} \
            "$list" "$pack_dir/" "$work/${group}_install_list.install"
    done
    cp "$setup_exe" "$work/setup.exe" || die 3 "cannot copy $setup_exe"
}

# Puts the checked medium (and image) in place of the earlier ones. Signals wait until it is
# done or undone; a failure or a signal on the way puts the earlier ones back.
commit_medium() {
    local signal=0 ok=1 moved_old=0 moved_new=0 moved_old_iso=0 moved_iso=0
    local parent=${medium%/*}
    [ "$parent" != "$medium" ] || parent=.
    trap 'signal=1' HUP
    trap 'signal=2' INT
    trap 'signal=15' TERM
    if [ -e "$medium" ] || [ -L "$medium" ]; then
        old_medium=$(mktemp -d "$parent/.${medium##*/}.old.XXXXXX") &&
            mv -T "$medium" "$old_medium" && moved_old=1 || ok=0
    fi
    [ "$ok" -eq 1 ] && mv -T "$work" "$medium" && moved_new=1 || ok=0
    if [ -n "$iso" ] && [ "$ok" -eq 1 ]; then
        if [ -e "$iso" ] || [ -L "$iso" ]; then
            old_iso=$(mktemp "$iso.old.XXXXXX") && mv -f "$iso" "$old_iso" && moved_old_iso=1 ||
                ok=0
        fi
        [ "$ok" -eq 1 ] && mv -f "$iso_partial" "$iso" && moved_iso=1 || ok=0
    fi
    if [ "$ok" -eq 0 ] || [ "$signal" -ne 0 ]; then
        [ "$moved_iso" -eq 0 ] || mv -f "$iso" "$iso_partial"
        [ "$moved_old_iso" -eq 0 ] || mv -f "$old_iso" "$iso"
        [ -z "$old_iso" ] || [ "$moved_old_iso" -eq 1 ] || rm -f "$old_iso"
        [ "$moved_new" -eq 0 ] || mv -T "$medium" "$work"
        [ "$moved_old" -eq 0 ] || mv -T "$old_medium" "$medium"
        [ -z "$old_medium" ] || [ "$moved_old" -eq 1 ] || rmdir "$old_medium"
        set_signal_traps
        [ "$signal" -eq 0 ] || on_signal "$signal"
        die 3 "cannot put the new medium in place of $medium"
    fi
    work=
    iso_partial=
    committed=1
    set_signal_traps
    [ -z "$old_medium" ] || rm -rf "$old_medium"
    [ -z "$old_iso" ] || rm -f "$old_iso"
}

# --- checking ---

fault() {
    say "check: $*"
    faults=$((faults + 1))
}

# Checks that the medium $1 holds exactly the medium files, and the copy of setup.
check_medium_files() {
    local dir=$1 name entry known
    for name in "${MEDIUM_FILES[@]}"; do
        [ -f "$dir/$name" ] || fault "$name is missing from the medium"
    done
    for entry in "$dir"/* "$dir"/.[!.]*; do
        [ -e "$entry" ] || continue
        known=0
        for name in "${MEDIUM_FILES[@]}"; do
            [ "${entry##*/}" = "$name" ] && known=1
        done
        [ "$known" -eq 1 ] || fault "${entry##*/} is not a medium file"
    done
    if [ -n "$setup_exe" ] && [ -f "$dir/setup.exe" ]; then
        cmp -s "$setup_exe" "$dir/setup.exe" || fault "setup.exe differs from $setup_exe"
    fi
}

# Unpacks the group $2 of the medium $1 into the scratch folder and compares every file with
# its source, through the names' mapping; adds the group's line to the summary.
check_group() {
    local dir=$1 group=$2 src name count=0 bytes=0
    local list="$dir/$2_install_list.txt" archive="$dir/$2_install.qbr" out="$scratch/unpacked/$2"
    [ -f "$list" ] && [ -f "$archive" ] || return
    if ! cmp -s "$scratch/lists/$group.txt" "$list"; then
        fault "${list##*/} differs from the source tree's list"
        return
    fi
    if ! run_logged "$scratch/tool.log" "$lzss" "$archive" "$list" "$out/"; then
        fault "${archive##*/} does not unpack: $(grep -v '^ *[0-9]' "$scratch/tool.log" | head -1)"
        return
    fi
    while IFS= read -r src <&3 && IFS= read -r name <&4; do
        cmp -s "$files_dir/${src//\\//}" "$out/${name//\\//}" ||
            fault "${archive##*/}: $src differs from its source"
        count=$((count + 1))
        bytes=$((bytes + $(wc -c < "$files_dir/${src//\\//}")))
    done 3<"$scratch/names/$group.src" 4<"$scratch/names/$group.cp"
    if [ -f "$dir/${group}_install.crc" ]; then
        if ! write_sums "$group" > "$scratch/$group.crc" ||
           ! cmp -s "$scratch/$group.crc" "$dir/${group}_install.crc"; then
            fault "${group}_install.crc does not give the sums of the files of ${list##*/}"
        fi
    fi
    if [ -f "$dir/${group}_install_list.install" ]; then
        if ! run_logged /dev/null "$listimage" ${code_page:+--code-page "$code_page"} \
                 "$list" "$pack_dir/" "$scratch/$group.install" ||
           ! cmp -s "$scratch/$group.install" "$dir/${group}_install_list.install"; then
            fault "${group}_install_list.install is not the image of ${list##*/}"
        fi
    fi
    printf '%s %d %d %d\n' "$group" "$count" "$bytes" "$(wc -c < "$archive")" >> "$scratch/summary"
}

# --- the disc image ---

# The autorun.inf of the disc: Windows starts setup.exe from the disc's root when it is inserted.
autorun_inf() {
    printf '[autorun]\r\nopen=setup.exe\r\nicon=setup.exe,0\r\nlabel=TRV99 Patch v 1.1\r\n'
}

# Writes the medium $1 and autorun.inf as the image $2, every date set to ISO_DATE_EPOCH.
write_iso() {
    local root=$scratch/iso-root
    rm -rf "$root"
    mkdir -p "$root"
    cp "$1"/* "$root/" || die 3 "cannot stage the medium for $iso"
    autorun_inf > "$root/autorun.inf"
    touch -d "@$ISO_DATE_EPOCH" "$root"/* "$root"
    run_tool "writing the disc image $iso" env SOURCE_DATE_EPOCH="$ISO_DATE_EPOCH" \
        xorriso -as mkisofs -quiet -J -joliet-long -r -V "$ISO_LABEL" -o "$2" "$root"
}

# Reads the image $2 back as Windows would, by its Joliet names, and compares it with the
# medium $1.
check_iso() {
    local dir=$1 image=$2 out=$scratch/from-iso entry name label
    [ -f "$image" ] || { fault "the disc image $iso is missing"; return; }
    rm -rf "$out"
    if ! run_logged "$scratch/tool.log" \
            xorriso -read_fs norock -osirrox on -indev "$image" -extract / "$out"; then
        fault "the disc image $iso cannot be read: $(grep -m1 -i 'failure\|sorry' "$scratch/tool.log")"
        return
    fi
    label=$(xorriso -indev "$image" -pvd_info 2>/dev/null | sed -n 's/^Volume Id *: *//p')
    [ "$label" = "$ISO_LABEL" ] || fault "the disc image's label is \"$label\", not $ISO_LABEL"
    for name in "${MEDIUM_FILES[@]}"; do
        cmp -s "$dir/$name" "$out/$name" || fault "$name differs on the disc image, or is missing"
    done
    cmp -s <(autorun_inf) "$out/autorun.inf" || fault "autorun.inf is missing from the disc image or wrong"
    for entry in "$out"/* "$out"/.[!.]*; do
        [ -e "$entry" ] || continue
        name=${entry##*/}
        [ "$name" = autorun.inf ] || [ -f "$dir/$name" ] ||
            fault "$name on the disc image is not a medium file"
    done
}

# The longest medium name, and the longest destination folder it leaves room for in setup's
# path buffers (folder, separator, name and NUL).
print_room() {
    local group src name longest=0 longest_src=
    for group in "${GROUPS_IN_ORDER[@]}"; do
        while IFS= read -r src <&3 && IFS= read -r name <&4; do
            if [ ${#name} -gt "$longest" ]; then longest=${#name}; longest_src=$src; fi
        done 3<"$scratch/names/$group.src" 4<"$scratch/names/$group.cp"
    done
    echo "  longest name: $longest characters ($longest_src); setup installs this medium into" \
         "folders of up to $((INSTALL_PATH_CHARS - 2 - longest)) characters, e.g." \
         "$DEFAULT_INSTALL_FOLDER"
}

print_summary() {
    awk -v medium="$medium" '
        function row(name, files, bytes, packed,    ratio) {
            ratio = "    -"
            if (bytes > 0)
                ratio = sprintf("%5.1f%%", 100 * packed / bytes)
            printf "  %-8s %6d %12d %12d  %s\n", name, files, bytes, packed, ratio
        }
        BEGIN { printf "  %-8s %6s %12s %12s  %s\n", "group", "files", "bytes", "archive", "ratio" }
        { row($1, $2, $3, $4); files += $2; bytes += $3; packed += $4 }
        END { row("total", files, bytes, packed) }' "$scratch/summary"
    print_room
    echo "  medium: $medium ($(du -sk "$medium" | cut -f1) KiB)"
    if [ -n "$iso" ]; then
        echo "  disc image: $iso ($(( $(wc -c < "$iso") / 1024 )) KiB, label $ISO_LABEL)"
    fi
}

# Checks the medium in the folder $1 and the image $2 (none without --iso), which --check-only
# takes as they are and a build has just written.
check_medium() {
    local dir=$1 image=$2 group
    faults=0
    : > "$scratch/summary"
    check_medium_files "$dir"
    for group in "${GROUPS_IN_ORDER[@]}"; do
        check_group "$dir" "$group"
    done
    [ "$faults" -eq 0 ] || die 4 "the medium in $dir is faulty ($faults faults)"
    [ -n "$iso" ] || return 0
    if [ "$check_only" -eq 0 ]; then
        write_iso "$dir" "$image"
    fi
    check_iso "$dir" "$image"
    [ "$faults" -eq 0 ] || die 4 "the disc image $iso is faulty ($faults faults)"
}

# --- main ---

while [ $# -gt 0 ]; do
    case "$1" in
    --lzss)       [ $# -ge 2 ] || usage; lzss=$2; shift 2 ;;
    --listimage)  [ $# -ge 2 ] || usage; listimage=$2; shift 2 ;;
    --setup)      [ $# -ge 2 ] || usage; setup_exe=$2; shift 2 ;;
    --iso)        [ $# -ge 2 ] || usage; iso=$2; shift 2 ;;
    --code-page)  [ $# -ge 2 ] || usage; code_page=$2; shift 2 ;;
    --check-only) check_only=1; shift ;;
    -h | --help)  usage ;;
    -*)           say "unknown option $1"; usage ;;
    *)            break ;;
    esac
done
[ $# -eq 2 ] || usage
source_tree=${1%/}
medium=${2%/}
iso=${iso%/}
files_dir=$source_tree/files

if [ -n "$installed_setup_path" ]; then
    installed_dir=$(dirname "$(readlink -f "$0")")
    lzss=${lzss:-$installed_dir/lzss}
    listimage=${listimage:-$installed_dir/listimage}
    if [ "$check_only" -eq 0 ]; then
        setup_exe=${setup_exe:-$(realpath -m "$installed_dir/$installed_setup_path")}
    fi
fi
[ -n "$lzss" ] || die 1 "no lzss program given (--lzss PATH or LZSS=PATH)"
[ -x "$lzss" ] || die 1 "lzss program not found: $lzss"
[ -n "$listimage" ] || die 1 "no listimage program given (--listimage PATH or LISTIMAGE=PATH)"
[ -x "$listimage" ] || die 1 "listimage program not found: $listimage"
if [ "$check_only" -eq 0 ]; then
    [ -n "$setup_exe" ] || die 1 "no setup.exe given (--setup PATH or SETUP_EXE=PATH)"
    [ -f "$setup_exe" ] || die 1 "setup.exe not found: $setup_exe"
elif [ -n "$setup_exe" ] && [ ! -f "$setup_exe" ]; then
    die 1 "setup.exe not found: $setup_exe"
fi
if [ -n "$code_page" ]; then
    [[ $code_page =~ ^[1-9][0-9]{0,4}$ ]] ||
        die 1 "--code-page takes the number of a Windows code page, such as 1252"
    iconv -f UTF-8 -t "CP$code_page" </dev/null >/dev/null 2>&1 ||
        die 1 "iconv knows no code page $code_page (CP$code_page)"
fi
[ "$check_only" -eq 0 ] || [ -d "$medium" ] || die 1 "no medium in $medium"
if [ -n "$iso" ]; then
    command -v xorriso >/dev/null || die 1 "xorriso not found (Debian's package xorriso)"
    [ "$check_only" -eq 0 ] || [ -f "$iso" ] || die 1 "no disc image $iso"
    [ "$check_only" -eq 1 ] || [ ! -d "$iso" ] || die 1 "$iso is a folder"
fi
[ "$check_only" -eq 1 ] || check_target

trap cleanup EXIT
set_signal_traps
scratch=$(mktemp -d) || die 3 "cannot create a scratch folder"
check_source_tree
make_pack_folder
if [ "$check_only" -eq 1 ]; then
    check_medium "$medium" "$iso"
else
    build_medium
    if [ -n "$iso" ]; then
        iso_partial=$(mktemp "$iso.new.XXXXXX") || die 3 "cannot create a file beside $iso"
        chmod "$(printf '%o' $((0666 & ~0$(umask))))" "$iso_partial"
    fi
    check_medium "$work" "$iso_partial"
    commit_medium
fi
echo "$program: $medium checked against $source_tree: every archive unpacks to its sources"
print_summary
