#!/usr/bin/env bash
# make_medium.sh -- builds the distribution medium of a patch from its source tree, then checks
# it: every archive is unpacked again and compared with the files it was made from.
#
#   make_medium.sh [--lzss PATH] [--listimage PATH] [--setup PATH] [--iso FILE] SOURCE_TREE MEDIUM_DIR
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
# from its line. MEDIUM_DIR is
# emptied first; it may hold nothing but medium files then, so that a wrong path cannot wipe
# anything else. A build that fails leaves no medium behind.
#
# --iso FILE also writes the medium as a disc image: ISO 9660 with Joliet names (which Windows
# reads, so "typical_install_list.install" keeps its name) and Rock Ridge names, the volume label
# TRV99_PATCH_V1_1 and an autorun.inf that starts setup.exe. Its dates are fixed
# ($SOURCE_DATE_EPOCH, by default the patch's release day), so the same medium always gives the
# same bytes. The image is then read back with Joliet names and compared file by file with the
# medium folder.
#
# --check-only checks an existing medium against the source tree (its sums too) and changes
# nothing; without
# --setup it only checks that setup.exe is there, and with --iso it checks that image too.
#
# Status: 0 medium built (or checked) and good; 1 usage or a tool missing; 2 the source tree is
# wrong (list, name or file); 3 a tool failed while building; 4 the check found a fault.
set -uo pipefail
export LC_ALL=C

GROUPS_IN_ORDER=(exe typical maximum)
MEDIUM_FILES=(exe_install_list.txt typical_install_list.txt maximum_install_list.txt
              exe_install.qbr typical_install.qbr maximum_install.qbr
              exe_install.crc typical_install.crc maximum_install.crc
              exe_install_list.install typical_install_list.install maximum_install_list.install
              setup.exe)
MAX_NAME_CHARS=255
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
scratch=
medium_started=0

say() { echo "$program: $*" >&2; }
die() { say "$2"; exit "$1"; }

usage() {
    sed -n '5,6p' "$0" | sed "s/^# *//; s/make_medium\.sh/$program/" >&2
    exit 1
}

cleanup() {
    local status=$?
    [ -n "$scratch" ] && rm -rf "$scratch"
    if [ "$status" -ne 0 ] && [ "$medium_started" -eq 1 ]; then
        rm -rf "$medium"
        [ -z "$iso" ] || rm -f "$iso"
        say "no medium was left in $medium"
    fi
}

# --- source tree checks ---

# Prints the first problem of one list line that is the builder's own, if it has one; $1 is the
# line without its line end. What a stored name may be is the library's rule, which listimage
# applies (names_problems).
name_problem() {
    local name=$1
    if [ -z "$name" ]; then echo "blank line"; return; fi
    if [[ $name =~ ^[[:space:]] || $name =~ [[:space:]]$ ]]; then
        echo "blanks around the name \"$name\""; return
    fi
    if [ ${#name} -gt $MAX_NAME_CHARS ]; then
        echo "name longer than $MAX_NAME_CHARS characters: $name"; return
    fi
}

# Prints the first name of the list $1 that breaks the rule for stored names, as listimage finds
# it ("LIST line N: why: NAME"); nothing when every name keeps it.
names_problems() {
    local list=$1
    "$listimage" "$list" "$files_dir/" "$scratch/names.install" >"$scratch/names.log" 2>&1
    [ $? -eq 2 ] || return 0
    sed -n "s/^listimage: .*, line \([0-9]*\): /${list##*/} line \1: /p" "$scratch/names.log" |
        head -n 1
}

# Checks one group's list and that each listed file is in files/; prints one line per
# problem and returns non-zero when there was one. Collects the lower-case names in all_names.
check_list() {
    local group=$1 list="$source_tree/lists/$1_install_list.txt" line number=0 bad=0 problem
    if [ ! -f "$list" ]; then say "$group: $list is missing"; return 1; fi
    while IFS= read -r line || [ -n "$line" ]; do
        number=$((number + 1))
        line=${line%$'\r'}
        problem=$(name_problem "$line")
        if [ -z "$problem" ]; then
            local key=${line//\//\\}
            key=${key,,}
            if [ -n "${all_names[$key]:-}" ]; then
                problem="$line is named twice (also ${all_names[$key]})"
            fi
            all_names[$key]="line $number of $group"
        fi
        if [ -n "$problem" ]; then
            say "${list##*/} line $number: $problem"
            bad=1
        fi
    done < "$list"
    if [ "$bad" -eq 0 ]; then
        problem=$(names_problems "$list")
        if [ -n "$problem" ]; then
            say "$problem"
            bad=1
        fi
    fi
    # Only names that stay in the folder are looked for there.
    local count=$number missing=0
    number=0
    while [ "$bad" -eq 0 ] && { IFS= read -r line || [ -n "$line" ]; }; do
        number=$((number + 1))
        line=${line%$'\r'}
        if [ -d "$files_dir/${line//\\//}" ]; then
            say "${list##*/} line $number: $line is a folder, not a file"
            missing=1
        elif [ ! -f "$files_dir/${line//\\//}" ]; then
            say "${list##*/} line $number: listed file missing: $line (no $files_dir/${line//\\//})"
            missing=1
        fi
    done < "$list"
    if [ "$count" -eq 0 ] && [ "$group" != maximum ]; then
        say "${list##*/} names no files"
        bad=1
    fi
    bad=$((bad | missing))
    [ "$bad" -eq 0 ]
}

check_source_tree() {
    [ -d "$files_dir" ] || die 2 "$files_dir is not a folder"
    declare -gA all_names=()
    local group bad=0
    for group in "${GROUPS_IN_ORDER[@]}"; do
        check_list "$group" || bad=1
    done
    [ "$bad" -eq 0 ] || die 2 "the source tree $source_tree is not ready; nothing was built"
}

# --- building ---

# Empties MEDIUM_DIR, refusing when it holds anything a medium build did not make.
prepare_medium_dir() {
    local entry known name
    if [ -e "$medium" ] && [ ! -d "$medium" ]; then die 1 "$medium is not a folder"; fi
    if [ -d "$medium" ]; then
        for entry in "$medium"/* "$medium"/.[!.]*; do
            [ -e "$entry" ] || continue
            known=0
            for name in "${MEDIUM_FILES[@]}"; do
                case "${entry##*/}" in "$name" | "$name.partial") known=1 ;; esac
            done
            [ "$known" -eq 1 ] ||
                die 1 "refusing to empty $medium: it holds ${entry##*/}, which is not a medium file"
        done
    fi
    medium_started=1
    rm -rf "$medium"
    mkdir -p "$medium" || die 3 "cannot create $medium"
}

# The CRC-32 of the file $1 in 8 hex digits: the one gzip keeps at the end of what it writes, its
# low byte first.
crc_of() {
    local bytes
    bytes=($(gzip -1 -c < "$1" | tail -c 8 | od -An -tu1)) || return 1
    [ ${#bytes[@]} -eq 8 ] || return 1
    printf '%02x%02x%02x%02x' "${bytes[3]}" "${bytes[2]}" "${bytes[1]}" "${bytes[0]}"
}

# Writes to standard output the sums of the list $1, from the source tree's files.
write_sums() {
    local line path crc
    while IFS= read -r line || [ -n "$line" ]; do
        line=${line%$'\r'}
        path=$files_dir/${line//\\//}
        crc=$(crc_of "$path") || return 1
        printf '%s %d %s\r\n' "$crc" "$(wc -c < "$path")" "$line"
    done < "$1"
}

# Runs a tool with its output kept in the scratch log; on failure shows the log and stops.
run_tool() {
    local what=$1
    shift
    if ! "$@" >"$scratch/tool.log" 2>&1; then
        say "$what failed:"
        sed 's/^/    /' "$scratch/tool.log" >&2
        exit 3
    fi
}

build_medium() {
    local group list
    prepare_medium_dir
    for group in "${GROUPS_IN_ORDER[@]}"; do
        list=$medium/${group}_install_list.txt
        cp "$source_tree/lists/${group}_install_list.txt" "$list" ||
            die 3 "cannot copy the $group list"
        run_tool "packing ${group}_install.qbr" \
            "$lzss" "$files_dir/" "$list" "$medium/${group}_install.qbr"
        write_sums "$list" > "$medium/${group}_install.crc" ||
            die 3 "cannot write ${group}_install.crc"
        run_tool "making ${group}_install_list.install" \
            "$listimage" "$list" "$files_dir/" "$medium/${group}_install_list.install"
    done
    cp "$setup_exe" "$medium/setup.exe" || die 3 "cannot copy $setup_exe"
}

# --- checking ---

fault() {
    say "check: $*"
    faults=$((faults + 1))
}

# Checks that the medium holds exactly the medium files, and the copies of the lists and setup.
check_medium_files() {
    local name entry known
    for name in "${MEDIUM_FILES[@]}"; do
        [ -f "$medium/$name" ] || fault "$name is missing from the medium"
    done
    for entry in "$medium"/* "$medium"/.[!.]*; do
        [ -e "$entry" ] || continue
        known=0
        for name in "${MEDIUM_FILES[@]}"; do
            [ "${entry##*/}" = "$name" ] && known=1
        done
        [ "$known" -eq 1 ] || fault "${entry##*/} is not a medium file"
    done
    if [ -n "$setup_exe" ] && [ -f "$medium/setup.exe" ]; then
        cmp -s "$setup_exe" "$medium/setup.exe" || fault "setup.exe differs from $setup_exe"
    fi
}

# Unpacks one group's archive into the scratch folder and compares every file with its source;
# adds the group's line to the summary.
check_group() {
    local group=$1 list="$medium/$1_install_list.txt" archive="$medium/$1_install.qbr"
    local out="$scratch/unpacked/$1" line count=0 bytes=0 path
    [ -f "$list" ] && [ -f "$archive" ] || return
    if ! cmp -s "$source_tree/lists/${group}_install_list.txt" "$list"; then
        fault "${list##*/} differs from the source tree's list"
        return
    fi
    if ! "$lzss" "$archive" "$list" "$out/" >"$scratch/tool.log" 2>&1; then
        fault "${archive##*/} does not unpack: $(grep -v '^ *[0-9]' "$scratch/tool.log" | head -1)"
        return
    fi
    while IFS= read -r line || [ -n "$line" ]; do
        line=${line%$'\r'}
        path=${line//\\//}
        cmp -s "$files_dir/$path" "$out/$path" ||
            fault "${archive##*/}: $line differs from its source"
        count=$((count + 1))
        bytes=$((bytes + $(wc -c < "$files_dir/$path")))
    done < "$list"
    if [ -f "$medium/${group}_install.crc" ]; then
        if ! write_sums "$list" > "$scratch/$group.crc" ||
           ! cmp -s "$scratch/$group.crc" "$medium/${group}_install.crc"; then
            fault "${group}_install.crc does not give the sums of the files of ${list##*/}"
        fi
    fi
    if [ -f "$medium/${group}_install_list.install" ]; then
        if ! "$listimage" "$list" "$files_dir/" "$scratch/$group.install" >/dev/null 2>&1 ||
           ! cmp -s "$scratch/$group.install" "$medium/${group}_install_list.install"; then
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

# Writes the medium and autorun.inf as the image $iso, every date set to ISO_DATE_EPOCH.
write_iso() {
    local root=$scratch/iso-root
    rm -rf "$root"
    mkdir -p "$root"
    cp "$medium"/* "$root/" || die 3 "cannot stage the medium for $iso"
    autorun_inf > "$root/autorun.inf"
    touch -d "@$ISO_DATE_EPOCH" "$root"/* "$root"
    rm -f "$iso"
    run_tool "writing the disc image $iso" env SOURCE_DATE_EPOCH="$ISO_DATE_EPOCH" \
        xorriso -as mkisofs -quiet -J -joliet-long -r -V "$ISO_LABEL" -o "$iso" "$root"
}

# Reads the image back as Windows would, by its Joliet names, and compares it with the medium.
check_iso() {
    local out=$scratch/from-iso entry name label
    [ -f "$iso" ] || { fault "the disc image $iso is missing"; return; }
    rm -rf "$out"
    if ! xorriso -read_fs norock -osirrox on -indev "$iso" -extract / "$out" \
            >"$scratch/tool.log" 2>&1; then
        fault "the disc image $iso cannot be read: $(grep -m1 -i 'failure\|sorry' "$scratch/tool.log")"
        return
    fi
    label=$(xorriso -indev "$iso" -pvd_info 2>/dev/null | sed -n 's/^Volume Id *: *//p')
    [ "$label" = "$ISO_LABEL" ] || fault "the disc image's label is \"$label\", not $ISO_LABEL"
    for name in "${MEDIUM_FILES[@]}"; do
        cmp -s "$medium/$name" "$out/$name" || fault "$name differs on the disc image, or is missing"
    done
    cmp -s <(autorun_inf) "$out/autorun.inf" || fault "autorun.inf is missing from the disc image or wrong"
    for entry in "$out"/* "$out"/.[!.]*; do
        [ -e "$entry" ] || continue
        name=${entry##*/}
        [ "$name" = autorun.inf ] || [ -f "$medium/$name" ] ||
            fault "$name on the disc image is not a medium file"
    done
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
    echo "  medium: $medium ($(du -sk "$medium" | cut -f1) KiB)"
    if [ -n "$iso" ]; then
        echo "  disc image: $iso ($(( $(wc -c < "$iso") / 1024 )) KiB, label $ISO_LABEL)"
    fi
}

check_medium() {
    faults=0
    : > "$scratch/summary"
    check_medium_files
    local group
    for group in "${GROUPS_IN_ORDER[@]}"; do
        check_group "$group"
    done
    [ "$faults" -eq 0 ] || die 4 "the medium in $medium is faulty ($faults faults)"
    if [ -n "$iso" ]; then
        if [ "$check_only" -eq 0 ]; then
            write_iso
        fi
        check_iso
        [ "$faults" -eq 0 ] || die 4 "the disc image $iso is faulty ($faults faults)"
    fi
}

# --- main ---

while [ $# -gt 0 ]; do
    case "$1" in
    --lzss)       [ $# -ge 2 ] || usage; lzss=$2; shift 2 ;;
    --listimage)  [ $# -ge 2 ] || usage; listimage=$2; shift 2 ;;
    --setup)      [ $# -ge 2 ] || usage; setup_exe=$2; shift 2 ;;
    --iso)        [ $# -ge 2 ] || usage; iso=$2; shift 2 ;;
    --check-only) check_only=1; shift ;;
    -h | --help)  usage ;;
    -*)           say "unknown option $1"; usage ;;
    *)            break ;;
    esac
done
[ $# -eq 2 ] || usage
source_tree=${1%/}
medium=${2%/}
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
[ "$check_only" -eq 0 ] || [ -d "$medium" ] || die 1 "no medium in $medium"
if [ -n "$iso" ]; then
    command -v xorriso >/dev/null || die 1 "xorriso not found (Debian's package xorriso)"
    [ "$check_only" -eq 0 ] || [ -f "$iso" ] || die 1 "no disc image $iso"
fi

scratch=$(mktemp -d) || die 3 "cannot create a scratch folder"
trap cleanup EXIT
check_source_tree
if [ "$check_only" -eq 0 ]; then
    build_medium
fi
check_medium
medium_started=0
echo "$program: $medium checked against $source_tree: every archive unpacks to its sources"
print_summary
