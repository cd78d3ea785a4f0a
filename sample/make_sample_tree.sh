#!/usr/bin/env bash
# make_sample_tree.sh -- assembles the sample patch's source tree, the input of
# tools/medium/make_medium.sh, from the files kept in sample/, the generated bulk content and
# the two game executables of a Windows build.
#
#   make_sample_tree.sh OUT_DIR GAME_EXE_DIR GENERATOR
#
#   OUT_DIR       the tree to make; emptied first (it may hold only files/ and lists/)
#   GAME_EXE_DIR  the folder that holds trv99hw.exe and trv99sw.exe
#   GENERATOR     the generate_bulk program of a native build
#
# The tree:
#   OUT_DIR/lists/exe_install_list.txt, typical_install_list.txt, maximum_install_list.txt
#   OUT_DIR/files/   every listed file under its list name, "\" read as a folder separator:
#                    sample/patch/ as kept, the generated textures, sounds, maps, music and
#                    movie, and the two executables at the top
#
# Afterwards every file under files/ must be named by exactly one list and every listed name
# must be there; otherwise the script names the file and ends with status 2.
set -euo pipefail
export LC_ALL=C

if [ $# -ne 3 ]; then
    echo "usage: $0 OUT_DIR GAME_EXE_DIR GENERATOR" >&2
    exit 1
fi
out=$1
game_dir=$2
generator=$3
sample=$(cd "$(dirname "$0")" && pwd)

fail() {
    echo "make_sample_tree.sh: $*" >&2
    exit 2
}

for exe in trv99hw.exe trv99sw.exe; do
    [ -f "$game_dir/$exe" ] || fail "$game_dir/$exe not found (build the Windows tree first)"
done
[ -x "$generator" ] || fail "the generator $generator is not an executable program"

if [ -e "$out" ]; then
    for entry in "$out"/* "$out"/.[!.]*; do
        [ -e "$entry" ] || continue
        case "${entry##*/}" in
        files | lists) ;;
        *) fail "refusing to empty $out: it holds ${entry##*/}, not part of a sample tree" ;;
        esac
    done
    rm -rf "$out"
fi
mkdir -p "$out/files" "$out/lists"

cp -R "$sample/patch/." "$out/files/"
"$generator" "$out/files" >/dev/null
cp "$game_dir/trv99hw.exe" "$game_dir/trv99sw.exe" "$out/files/"
cp "$sample/lists/exe_install_list.txt" "$sample/lists/typical_install_list.txt" \
   "$sample/lists/maximum_install_list.txt" "$out/lists/"

# The names of all three lists in host form, against the files that are really there.
listed=$(cat "$out"/lists/*_install_list.txt | tr -d '\r' | sed 's|\\|/|g' | sort)
present=$(cd "$out/files" && find . -type f | sed 's|^\./||' | sort)
twice=$(printf '%s\n' "$listed" | uniq -d)
[ -z "$twice" ] || fail "named by more than one list: $twice"
unlisted=$(comm -13 <(printf '%s\n' "$listed") <(printf '%s\n' "$present"))
[ -z "$unlisted" ] || fail "in files/ but named by no list: $unlisted"
absent=$(comm -23 <(printf '%s\n' "$listed") <(printf '%s\n' "$present"))
[ -z "$absent" ] || fail "listed but not made: $absent"

bytes=$(find "$out/files" -type f -printf '%s\n' | awk '{ total += $1 } END { print total }')
echo "make_sample_tree.sh: $(printf '%s\n' "$present" | wc -l) files, $bytes bytes in $out/files"
