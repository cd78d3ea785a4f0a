#!/usr/bin/env bash
# guest_tests.sh -- the tests of the shipped 32-bit programs, run inside the Windows test VM
# (scripts/win32_vm.sh) by scripts/test_win32_vm.sh: the lzss.exe cross check against the native
# lzss, and the end-to-end cases of setup.exe that cover a full install, play, uninstall, a failed
# extraction and the install from a read-only CD drive; then those cases once more as Windows 95,
# with the Windows 95 layer built for i686 in setup.exe, and the layer's own test.
#   guest_tests.sh WIN32_BUILD_DIR NATIVE_LZSS
set -u

root=$(cd "$(dirname "$0")/../.." && pwd)
build=$1
native_lzss=$2
# The core end-to-end cases, as the tree's tests/e2e/CMakeLists.txt names them (label core-e2e).
e2e_cases=$(cat "$build/tests/e2e/core_cases.txt") || exit 1

failures=0
# Runs one step, then says how it ended and how long it took.
step() {
    local name=$1
    shift
    local started=$SECONDS
    echo "== $name"
    # Through a pipe, so that Wine writes plain lines rather than drawing on a console.
    "$@" 2>&1 | tr -d '\r'
    if [ "${PIPESTATUS[0]}" -eq 0 ]; then
        echo "== $name: passed in $((SECONDS - started)) s"
    else
        echo "== $name: FAILED in $((SECONDS - started)) s"
        failures=$((failures + 1))
    fi
}

Xvfb :5 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
export DISPLAY=:5
cd_drive=$root/tests/e2e/cd_drive.sh
# Drive D: before the server starts, then a persistent, warm server for every program after.
bash "$cd_drive" map wine "$build/wine/cd"
wineserver -p </dev/null >/dev/null 2>&1
step "Wine starts (32-bit prefix)" wine cmd /c exit </dev/null >/dev/null 2>&1

step "lzss.exe cross check" bash "$root/tests/cross/cross_check.sh" "$native_lzss" \
    "$build/lzss.exe" wine "$root/tests/data/vectors/inputs"

# Every pattern of the core cases names at least one case of this e2e_driver_test: a renamed case
# must not drop out of the run without a word.
core_cases_exist() {
    local patterns pattern listed missing=0
    IFS=: read -r -a patterns <<<"$e2e_cases"
    for pattern in "${patterns[@]}"; do
        listed=$(wine "$build/tests/e2e/e2e_driver_test.exe" --gtest_list_tests \
                      --gtest_filter="$pattern" </dev/null 2>/dev/null | tr -d '\r' | grep -c '^  ')
        if [ "$listed" -eq 0 ]; then
            echo "no case of e2e_driver_test.exe matches the core case $pattern"
            missing=1
        fi
    done
    return "$missing"
}
step "the core end-to-end cases exist" core_cases_exist

bash "$cd_drive" mount "$build/tests/e2e/prepared/medium.iso" "$build/tests/e2e/prepared/medium" \
    "$build/wine/cd"
step "setup.exe end to end" wine "$build/tests/e2e/e2e_driver_test.exe" \
    --gtest_filter="$e2e_cases" </dev/null

# As Windows 95: the prefix reports it, and the layer (tests/win95) makes its documented
# behaviour happen in setup.exe. The layer's test also runs its stubs as __stdcall on i686.
wine reg add 'HKCU\Software\Wine' /v Version /d win95 /f </dev/null >/dev/null 2>&1
step "setup.exe end to end as Windows 95 with its rules" env TRV_WIN95_RULES=1 \
    wine "$build/tests/e2e/e2e_driver_test.exe" --gtest_filter="$e2e_cases" </dev/null
step "the Windows 95 layer" wine "$build/tests/win95/win95_rules_test.exe" </dev/null
bash "$cd_drive" unmount "$build/wine/cd"

wineserver -k </dev/null >/dev/null 2>&1
echo "== $failures step(s) failed"
[ "$failures" -eq 0 ]
