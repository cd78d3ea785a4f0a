#!/usr/bin/env bash
# test_win32_vm.sh -- runs the shipped 32-bit build in the Windows test VM: builds the VM image
# if this machine has none, packs the e2e medium with the native tools, then boots the VM and
# runs tests/vm/guest_tests.sh there. Exits with the guest's status; a VM that cannot be built or
# booted is a failure, never a skip.
#   scripts/test_win32_vm.sh WIN32_BUILD_DIR NATIVE_BUILD_DIR NATIVE_RELEASE_LZSS
# WIN32_BUILD_DIR is a tree configured with cmake/mingw-i686.cmake; NATIVE_BUILD_DIR holds
# listimage and sample/generate_bulk; NATIVE_RELEASE_LZSS is an lzss the VM can run (no
# sanitizers).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

build=$(cd "$1" && pwd)
native=$(cd "$2" && pwd)
native_lzss=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
case "$build/" in
"$root"/*) ;;
*) echo "test_win32_vm.sh: $build must be inside the repository, which the VM shares" >&2; exit 1 ;;
esac

started=$SECONDS
if ! bash scripts/win32_vm.sh image; then
    echo "test_win32_vm.sh: FAILED: the VM image could not be built, so the shipped 32-bit programs did not run" >&2
    exit 1
fi
echo "   (VM image ready after $((SECONDS - started)) s)"

bash tests/e2e/make_e2e_medium.sh "$build/tests/e2e/prepared" "$build/sample/game" "$native" \
    "$build/setup.exe" >/dev/null

job_dir=$build/vm
mkdir -p "$job_dir"
cat > "$job_dir/job.sh" <<JOB
exec bash "$root/tests/vm/guest_tests.sh" "$build" "$native_lzss"
JOB
started=$SECONDS
status=0
bash scripts/win32_vm.sh run "$root" "$job_dir/job.sh" || status=$?
echo "   (VM run: $((SECONDS - started)) s, status $status)"
exit "$status"
