#!/usr/bin/env bash
# check_programs.sh -- checks the shipped 32-bit Windows programs for the Windows they promise:
#   - headers: subsystem and OS version 4.0 in every program;
#   - imports: each one listed for its program in docs/windows_imports.tsv and present on Windows
#     XP; setup.exe's from exactly kernel32, user32, gdi32, advapi32, shell32, ole32 and comctl32,
#     every one present on Windows 95 itself; every row of the list still imported;
#   - instructions: setup.exe holds only instructions of the 386 (no x87 either); the other
#     programs nothing of MMX or SSE, which the Pentium Pro lacks;
#   - layout (scripts/check_pe.py): every section's raw data on the file alignment, the import
#     address table writable, every run-length coded bitmap's rows exactly its width; in
#     setup.exe no TLS, delay-load or load-configuration directory.
# Fails, naming each fault, also when objdump's output cannot be read.
#   scripts/check_programs.sh BUILD_DIR      (a tree configured with cmake/mingw-i686.cmake)
# OBJDUMP names another objdump.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: check_programs.sh BUILD_DIR}
list=$root/docs/windows_imports.tsv
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
programs=(setup.exe lzss.exe listimage.exe sample/game/trv99hw.exe sample/game/trv99sw.exe)

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0
imports_complete=1
fail() {
    echo "check_programs: $*" >&2
    failed=1
}

# "program<TAB>DLL<TAB>function" for each import; a row of a DLL's table that is not
# "<vma> <hint> <name>" (an import by ordinal, or output of another form) is a fault.
read_imports() {
    awk -v program="$1" '
        /^\tDLL Name: / { dll = toupper($3); rows = 0; next }
        dll != "" && /^\tvma:/ { rows = 1; next }
        /^\t?$/ { dll = ""; rows = 0; next }
        rows && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ && NF == 3 {
            print program "\t" dll "\t" $3
            next
        }
        rows { print "UNREADABLE\t" program "\t" $0 }
    '
}

# Prints each instruction that the processor floor `floor` (386 or 686) lacks, with its address.
# objdump -d --no-show-raw-insn gives "<address>:<TAB><mnemonic> <operands>", prefixes first.
check_instructions() {
    awk -F'\t' -v floor="$1" '
        BEGIN {
            # The 386 integer instructions, as objdump names them (size suffixes stripped
            # below); anything else, the x87 included, came later.
            n = split("aaa aad aam aas adc add and arpl bound bsf bsr bt btc btr bts call lcall " \
                      "cbtw cwtl cwtd cltd clc cld cli clts cmc cmp cmps daa das dec div enter " \
                      "hlt idiv imul in inc ins int int3 into iret jmp ljmp jcxz jecxz lahf lar " \
                      "lds lea leave les lfs lgs lss lgdt lidt lldt lmsw lods loop loope loopne " \
                      "lsl ltr mov movs movsb movsw movzb movzw mul neg nop not or out outs pop " \
                      "popa popf push pusha pushf rcl rcr ret lret rol ror sahf sal sar sbb scas " \
                      "sgdt shl shld shr shrd sidt sldt smsw stc std sti stos str sub test verr " \
                      "verw xchg xlat xor", names, " ")
            for (i = 1; i <= n; i++) i386[names[i]] = 1
            n = split("rep repz repnz repe repne lock data16 addr16 cs ds es fs gs ss", names, " ")
            for (i = 1; i <= n; i++) prefix[names[i]] = 1
        }
        /^ *[0-9a-f]+:\t/ {
            count++
            text = $2
            if (text ~ /^\(bad\)/ || text ~ /^\.byte/) next   # data among the code
            if (floor == 686) {
                # MMX and SSE registers, and the instructions of those sets that name none.
                if (text ~ /%(mm|xmm|ymm|zmm)[0-9]/ ||
                    text ~ /^(emms|femms|ldmxcsr|stmxcsr|fxsave|fxrstor|sfence|lfence|mfence)/ ||
                    text ~ /^(clflush|movnti|maskmovq|prefetch)/)
                    print $1 " " text
                next
            }
            split(text, word, " ")
            w = 1
            while (word[w] in prefix) w++
            m = word[w]
            ok = (m in i386) || (m ~ /^(j|set)(n?(a|ae|b|be|c|e|g|ge|l|le|o|p|s|z)|pe|po)$/)
            if (!ok && m ~ /[bwl]$/ && substr(m, 1, length(m) - 1) in i386)
                ok = 1
            # nop with operands is the Pentium Pro multi-byte form (0f 1f).
            if (m ~ /^nop/ && word[w + 1] != "")
                ok = 0
            if (!ok)
                print $1 " " text
        }
        END { if (count == 0) print "UNREADABLE: no instruction" }
    '
}

: > "$scratch/imports"
for program in "${programs[@]}"; do
    file=$build/$program
    name=$(basename "$program" .exe)
    if [ ! -f "$file" ]; then
        fail "$file is not built"
        imports_complete=0
        continue
    fi
    if ! "$objdump" -p "$file" > "$scratch/headers" 2>&1 ||
       ! "$objdump" -d --no-show-raw-insn "$file" > "$scratch/code" 2>&1; then
        fail "$objdump cannot read $program:" \
             "$(head -n 1 "$scratch/headers" "$scratch/code" | tr '\n' ' ')"
        imports_complete=0
        continue
    fi

    for field in MajorOSystemVersion:4 MinorOSystemVersion:0 \
                 MajorSubsystemVersion:4 MinorSubsystemVersion:0; do
        value=$(awk -v key="${field%:*}" '$1 == key { print $2 }' "$scratch/headers")
        if [ "$value" != "${field#*:}" ]; then
            fail "$program: ${field%:*} is '${value:-missing}', not ${field#*:}"
        fi
    done

    read_imports "$name" < "$scratch/headers" > "$scratch/rows"
    if grep -q '^UNREADABLE' "$scratch/rows"; then
        fail "$program: import rows that cannot be read:" \
             "$(grep '^UNREADABLE' "$scratch/rows" | cut -f3- | head -n 3 | tr '\n' '|')"
    fi
    grep -v '^UNREADABLE' "$scratch/rows" >> "$scratch/imports" || true
    if ! grep -q "^$name	" "$scratch/imports"; then
        fail "$program: no import could be read from objdump -p"
        imports_complete=0
    fi

    win95=()
    if [ "$name" = setup ]; then win95=(--win95); fi
    if ! python3 "$root/scripts/check_pe.py" "${win95[@]}" "$file" > "$scratch/layout"; then
        while read -r line; do fail "$line"; done < "$scratch/layout"
    fi

    floor=686
    if [ "$name" = setup ]; then floor=386; fi
    check_instructions "$floor" < "$scratch/code" > "$scratch/newer"
    if grep -q '^UNREADABLE' "$scratch/newer"; then
        fail "$program: no instruction could be read from objdump -d"
    elif [ -s "$scratch/newer" ]; then
        what="MMX or SSE, which the Pentium Pro lacks"
        if [ "$floor" = 386 ]; then what="newer than the 386"; fi
        fail "$program: $(wc -l < "$scratch/newer") instructions $what, such as:" \
             "$(head -n 5 "$scratch/newer" | tr '\n' '|')"
    fi
done

# The imports against the list, once every program's were read.
if [ "$imports_complete" = 0 ]; then
    fail "the imports are not compared with docs/windows_imports.tsv"
elif ! awk -F'\t' -v list="$list" '
    BEGIN {
        split("NT3.1 NT3.5 NT3.51 NT4 2000 XP", floor, " ")
        for (i in floor) allowed[floor[i]] = 1
        split("KERNEL32.DLL USER32.DLL GDI32.DLL ADVAPI32.DLL SHELL32.DLL OLE32.DLL COMCTL32.DLL",
              dlls, " ")
        for (i in dlls) setup_dll[dlls[i]] = 1
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
        if ($1 == "setup") setup_uses[$2] = 1
        if (!($0 in listed)) {
            printf "check_programs: %s.exe imports %s!%s, which %s does not list for it\n",
                   $1, $2, $3, "docs/windows_imports.tsv"
            failed = 1
        } else if (!(nt[key] in allowed)) {
            printf "check_programs: %s.exe imports %s!%s, which needs Windows %s\n", $1, $2, $3, nt[key]
            failed = 1
        } else if ($1 == "setup" && win9x[key] != "95") {
            printf "check_programs: setup.exe imports %s!%s, which Windows 95 does not have (%s)\n",
                   $2, $3, win9x[key]
            failed = 1
        }
    }
    END {
        for (entry in listed) {
            if (!(entry in seen)) {
                split(entry, field, "\t")
                printf "check_programs: %s.exe no longer imports %s!%s: remove it from %s\n",
                       field[1], field[2], field[3], "docs/windows_imports.tsv"
                failed = 1
            }
        }
        for (dll in setup_uses) {
            if (!(dll in setup_dll)) {
                printf "check_programs: setup.exe imports from %s\n", dll
                failed = 1
            }
        }
        for (dll in setup_dll) {
            if (!(dll in setup_uses)) {
                printf "check_programs: setup.exe imports nothing from %s\n", dll
                failed = 1
            }
        }
        summary = ""
        for (program in count) summary = summary " " program ".exe " count[program]
        print "check_programs: imports read:" summary
        exit failed
    }
' "$scratch/imports"; then
    failed=1
fi

if [ "$failed" != 0 ]; then
    echo "check_programs: FAILED" >&2
    exit 1
fi
echo "check_programs: every program has 4.0 headers, listed imports present on XP and an aligned" \
     "layout; setup.exe imports only from the seven system DLLs, only what Windows 95 has, holds" \
     "only 386 instructions and no TLS, delay-load or load-configuration directory; the others" \
     "hold no MMX or SSE"
