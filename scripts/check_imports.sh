#!/usr/bin/env bash
# check_imports.sh -- compares the import tables of the shipped 32-bit Windows programs with the
# committed list (docs/windows_imports.tsv) and fails on any import that is not listed for its
# program, naming it, or that needs a Windows newer than XP.
#   scripts/check_imports.sh BUILD_DIR      (a tree configured with cmake/mingw-i686.cmake)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: check_imports.sh BUILD_DIR}
list=$root/docs/windows_imports.tsv
objdump=i686-w64-mingw32-objdump
programs=(setup.exe lzss.exe listimage.exe sample/game/trv99hw.exe sample/game/trv99sw.exe)

imports=$(mktemp)
trap 'rm -f "$imports"' EXIT
for program in "${programs[@]}"; do
    if [ ! -f "$build/$program" ]; then
        echo "check_imports: $build/$program is not built" >&2
        exit 1
    fi
    # "DLL Name: X" opens a DLL's table; each later line "<vma> <hint> <name>" is one import.
    "$objdump" -p "$build/$program" | awk -v program="$(basename "$program" .exe)" '
        /^\tDLL Name: / { dll = toupper($3); next }
        /^\t$/ || /^$/ { dll = "" }
        dll != "" && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ && NF == 3 { print program "\t" dll "\t" $3 }
    ' >> "$imports"
done

awk -F'\t' -v list="$list" '
    BEGIN {
        # The NT releases up to the floor, Windows XP.
        split("NT3.1 NT3.5 NT3.51 NT4 2000 XP", floor, " ")
        for (i in floor) allowed[floor[i]] = 1
        while ((getline line < list) > 0) {
            if (line ~ /^#/ || line == "") continue
            split(line, field, "\t")
            n = split(field[3], users, ",")
            for (i = 1; i <= n; i++) listed[users[i] "\t" field[1] "\t" field[2]] = 1
            nt[field[1] "\t" field[2]] = field[4]
            win9x[field[1] "\t" field[2]] = field[5]
        }
    }
    {
        key = $2 "\t" $3
        seen[$0] = 1
        count[$1]++
        if (!($0 in listed)) {
            printf "check_imports: %s.exe imports %s!%s, which docs/windows_imports.tsv does not list for it\n", $1, $2, $3
            failed = 1
        } else if (!(nt[key] in allowed)) {
            printf "check_imports: %s.exe imports %s!%s, which needs Windows %s\n", $1, $2, $3, nt[key]
            failed = 1
        }
        if ($1 == "setup" && win9x[key] != "95" && win9x[key] != "98" && win9x[key] != "Me")
            weak = weak " " $3 " (" win9x[key] ")"
    }
    END {
        for (entry in listed) {
            if (!(entry in seen)) {
                split(entry, field, "\t")
                printf "check_imports: note: %s.exe no longer imports %s!%s; remove it from the list\n", field[1], field[2], field[3]
            }
        }
        if (failed) exit 1
        summary = ""
        for (program in count) summary = summary " " program ".exe " count[program]
        print "check_imports: every import is listed and present on Windows XP:" summary
        if (weak != "")
            print "check_imports: setup.exe imports that the Windows 95 family stubs or may lack:" weak
    }
' "$imports"
