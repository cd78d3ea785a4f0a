#!/usr/bin/env bash
# deps.sh -- installs the Debian packages the builds and the tests need: the native toolchain,
# GoogleTest and clang's libFuzzer, the MinGW-w64 cross compilers, Wine (32- and 64-bit) and an
# X server for the Windows programs' tests, what builds and boots the VM that runs the shipped
# 32-bit programs, and xorriso for the disc image. Does nothing when all of them are there already.
set -euo pipefail

packages=(g++ cmake ninja-build libgtest-dev googletest clang libclang-rt-14-dev
          lintian zip unzip man-db python3
          g++-mingw-w64-i686 g++-mingw-w64-x86-64
          wine wine64 wine32:i386 fonts-wine xvfb xauth x11-utils imagemagick time hyperfine pigz
          qemu-system-x86 debootstrap e2fsprogs xorriso)

as_root=()
if [ "$(id -u)" -ne 0 ]; then
    as_root=(sudo)
fi

# A machine whose last dpkg run was cut short refuses every install until the interrupted
# packages are configured; finish that first (it is what apt itself asks for).
if [ -n "$(dpkg --audit 2>/dev/null)" ] || [ -n "$(ls -A /var/lib/dpkg/updates 2>/dev/null)" ]; then
    echo "Finishing an interrupted dpkg run"
    DEBIAN_FRONTEND=noninteractive "${as_root[@]}" dpkg --configure -a >/dev/null
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${as_root[@]}" dpkg --add-architecture i386
fi
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
