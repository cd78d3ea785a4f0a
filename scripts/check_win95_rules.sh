#!/usr/bin/env bash
# check_win95_rules.sh -- shows that the Windows 95 run catches what breaks setup.exe on retail
# Windows 95: builds setup.exe once for each planted fault (a scratch copy of the sources, a build
# tree of its own; the repository is never touched), runs the end-to-end install as Windows 95
# with the Windows 95 layer (tests/win95) against it, and exits 0 only when every fault fails that
# run. The unplanted build must pass it first. Each fault is printed with the test that caught it
# and the layer's log line.
#   scripts/check_win95_rules.sh [--control] [NATIVE_BUILD_DIR [WORK_DIR]]
# NATIVE_BUILD_DIR (build/test) holds lzss, listimage and sample/generate_bulk; WORK_DIR
# (build/check-win95) gets the copy (src/) and the tree (tree/), kept for the next run.
# --control runs the same as the ordinary Windows suite does (no layer, the prefix's own Windows
# version) and requires every fault to pass there: each is a fault only on Windows 95. The tree is chosen as test.sh chooses it
# (scripts/windows_tree.sh). The read-only CD drive of the e2e fixture needs root.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

control=0
if [ "${1:-}" = --control ]; then
    control=1
    shift
fi
native=$(cd "${1:-build/test}" && pwd)
work=${2:-build/check-win95}
mkdir -p "$work"
work=$(cd "$work" && pwd)
src=$work/src
tree=$work/tree
case_name=SetupExe.InstallExtractsTheGroupsRecordsTheFolderAndLinksTheGame
started=$SECONDS

# shellcheck source=windows_tree.sh
. scripts/windows_tree.sh

# The faults: name, file, Perl substitution (applied to the whole file; it must change it), and
# the word of the layer's log line that names the rule.
faults=(
    "FILE_SHARE_DELETE in the share mode of an extracted file"
    "archive/host_files_win32.cpp"
    's/(GENERIC_WRITE,\s*FILE_SHARE_READ)\s*,/$1 | FILE_SHARE_DELETE,/g'
    "FILE_SHARE_DELETE"

    "PBM_SETRANGE32 instead of PBM_SETRANGE"
    "setup/install/install_dialog.cpp"
    's/PBM_SETRANGE,\s*0,\s*MAKELPARAM\(\s*0,\s*(\w+)\s*\)/PBM_SETRANGE32, 0, $1/g'
    "PBM_SETRANGE32"

    "each shortcut saved beside its place and moved there with MoveFileExA"
    "setup/install/shortcuts.cpp"
    's/(\w+)->Save\((\w+), TRUE\);/{ char saved[MAX_PATH + 8]; WCHAR wide_saved[MAX_PATH + 8]; if (format_text(saved, sizeof saved, "%s.new", link_path) \&\& MultiByteToWideChar(CP_ACP, 0, saved, -1, wide_saved, MAX_PATH + 8) > 0 \&\& SUCCEEDED($1->Save(wide_saved, TRUE))) MoveFileExA(saved, link_path, MOVEFILE_REPLACE_EXISTING); }/g'
    "MoveFileExA"

    "GetDiskFreeSpaceExA looked up at run time, without a fallback"
    "setup/install/drive_utils.cpp"
    's/^(\s*)(DWORD sectors_per_cluster)/$1typedef BOOL(WINAPI * FreeSpaceEx)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);\n$1FreeSpaceEx free_space_ex = (FreeSpaceEx)(void (*)())GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetDiskFreeSpaceExA");\n$1ULARGE_INTEGER available_bytes, total_bytes, free_bytes;\n$1if (free_space_ex == nullptr || !free_space_ex(root, \&available_bytes, \&total_bytes, \&free_bytes))\n$1    return -1;\n$1return (int64_t)available_bytes.QuadPart;\n$1$2/m'
    "GetDiskFreeSpaceExA"

    "the required space shown with SetWindowTextW"
    "setup/install/install_dialog.cpp"
    's/SetDlgItemTextA\((\w+), IDC_INSTALL_REQUIRED, (\w+)\);/{ WCHAR wide_required[32]; MultiByteToWideChar(CP_ACP, 0, $2, -1, wide_required, 32); SetWindowTextW(GetDlgItem($1, IDC_INSTALL_REQUIRED), wide_required); }/g'
    "SetWindowTextW"
)
fault_count=$((${#faults[@]} / 4))

echo "== The sources, copied to $src"
mkdir -p "$src"
git ls-files -z -co --exclude-standard |
    tar --null -T - --ignore-failed-read -cf - 2>/dev/null | tar -xf - -C "$src"
# Every file a fault changes, as copied (others may be editing the repository meanwhile), and
# the function that puts them back, newer than what was built from them.
rm -rf "$work/pristine"
for ((i = 0; i < fault_count; i++)); do
    mkdir -p "$work/pristine/$(dirname "${faults[i * 4 + 1]}")"
    cp "$src/${faults[i * 4 + 1]}" "$work/pristine/${faults[i * 4 + 1]}"
done
restore_sources() {
    local i
    for ((i = 0; i < fault_count; i++)); do
        cp "$work/pristine/${faults[i * 4 + 1]}" "$src/${faults[i * 4 + 1]}"
        touch "$src/${faults[i * 4 + 1]}"
    done
}
restore_sources  # newer than whatever a fault of the last run built

echo "== The $windows_bits-bit tree: $tree"
cmake -S "$src" -B "$tree" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$src/$windows_toolchain" \
      -DCMAKE_BUILD_TYPE=Release -DTRV_BUILD_BENCH=OFF \
      -DTRV_NATIVE_LZSS="$native/lzss" -DTRV_NATIVE_BUILD="$native" >/dev/null
build_setup() {
    cmake --build "$tree" --target setup e2e_driver_test win95_rules win95_run >"$work/build.log" 2>&1 ||
        { tail -n 30 "$work/build.log"; return 1; }
}
build_setup

# shellcheck source=x_display.sh
. scripts/x_display.sh
use_virtual_display
trap 'bash scripts/wine_prefix.sh "$tree" stop 2>/dev/null || true; stop_virtual_display' EXIT
bash scripts/wine_prefix.sh "$tree" start
if [ "$control" = 0 ]; then
    bash scripts/wine_prefix.sh "$tree" version win95
fi

# Runs the install case as Windows 95 with the layer (without it for --control); its output in
# $work/run.log, its status as the function's.
run_install() {
    local rules=1
    [ "$control" = 1 ] && rules=
    TRV_WIN95_RULES=$rules ctest --test-dir "$tree" --output-on-failure \
        -R "^${case_name//./\\.}\$" >"$work/run.log" 2>&1
}

echo "== The unplanted build"
if ! run_install; then
    grep -E 'Failure|Which is|win95_rules:' "$work/run.log" | head -n 20
    echo "check_win95_rules.sh: FAILED: the unplanted setup.exe fails the run itself" >&2
    exit 1
fi
echo "   passes"

failed=0
for ((i = 0; i < fault_count; i++)); do
    name=${faults[i * 4]}
    file=${faults[i * 4 + 1]}
    pattern=${faults[i * 4 + 2]}
    word=${faults[i * 4 + 3]}
    echo "== Fault $((i + 1)) of $fault_count: $name ($file)"
    restore_sources
    if ! perl -0pi -e "\$changed = ($pattern); END { exit(\$changed ? 0 : 3) }" "$src/$file"; then
        echo "   FAILED: its pattern no longer applies to $file" >&2
        failed=$((failed + 1))
        continue
    fi
    if ! build_setup; then
        echo "   FAILED: setup.exe does not build with it" >&2
        failed=$((failed + 1))
        continue
    fi
    if [ "$control" = 1 ]; then
        if run_install; then
            echo "   passes without the layer, as it should"
        else
            echo "   FAILED: it fails even without the layer" >&2
            grep -E 'Failure' -A3 "$work/run.log" | head -n 12
            failed=$((failed + 1))
        fi
        continue
    fi
    if run_install; then
        echo "   FAILED: the Windows 95 run did not notice it" >&2
        failed=$((failed + 1))
        continue
    fi
    caught=$(sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\) (Failed)$/\1/p' "$work/run.log" | paste -sd ' ')
    echo "   caught by: ${caught:-the run (no test named)}"
    lines=$(grep "^win95_rules: .*$word" "$work/run.log" | sort -u | head -n 3 || true)
    if [ -z "$lines" ]; then
        echo "   FAILED: the layer's log has no line about $word" >&2
        failed=$((failed + 1))
        continue
    fi
    echo "$lines" | sed 's/^/   layer: /'
done
restore_sources
echo "== $((fault_count - failed)) of $fault_count faults $([ "$control" = 1 ] && echo "pass without the layer" || echo "caught") ($((SECONDS - started)) s)"
[ "$failed" -eq 0 ]
