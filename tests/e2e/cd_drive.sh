#!/usr/bin/env bash
# cd_drive.sh -- the CD-ROM drive D: of the end-to-end tests: the medium's disc image (or the medium
# folder) mounted read-only, so that not even root can write to it, and mapped into a Wine prefix
# as a drive whose type is CD-ROM.
#
#   cd_drive.sh map WINE MOUNTPOINT       adds D: at MOUNTPOINT to $WINEPREFIX; run it before the
#                                         prefix's wineserver starts for the tests
#   cd_drive.sh mount IMAGE FOLDER MOUNTPOINT
#                                         mounts the disc image IMAGE there, or where the kernel
#                                         cannot, the medium FOLDER, read-only either way
#   cd_drive.sh unmount MOUNTPOINT
#
# Mounting needs root. Where it is not allowed, mount says so and
# leaves MOUNTPOINT empty, and the test that installs from D: skips with a note.
set -euo pipefail

case "${1:-}" in
map)
    wine=$2
    mountpoint=$3
    mkdir -p "$mountpoint"
    ln -sfn "$mountpoint" "$WINEPREFIX/dosdevices/d:"
    "$wine" reg add 'HKLM\Software\Wine\Drives' /v d: /d cdrom /f </dev/null >/dev/null 2>&1
    ;;
mount)
    image=$2
    folder=$3
    mountpoint=$4
    mkdir -p "$mountpoint"
    if mountpoint -q "$mountpoint"; then
        umount "$mountpoint"
    fi
    if [ "$(id -u)" -ne 0 ]; then
        echo "cd_drive.sh: not mounted: mounting the medium read-only needs root; the CD install is skipped"
        exit 0
    fi
    # The disc image as a disc where the kernel can mount one; else the medium folder through a
    # bind mount that is then made read-only.
    modprobe -q loop 2>/dev/null || true
    modprobe -q isofs 2>/dev/null || true
    if mount -o loop,ro -t iso9660 "$image" "$mountpoint" 2>/dev/null; then
        what="the disc image $image"
    elif mount --bind "$folder" "$mountpoint" && mount -o remount,bind,ro "$mountpoint"; then
        what="the medium folder $folder (this kernel cannot mount the disc image)"
    else
        if mountpoint -q "$mountpoint"; then
            umount "$mountpoint"
        fi
        echo "cd_drive.sh: not mounted: the medium cannot be mounted read-only here; the CD install is skipped"
        exit 0
    fi
    if touch "$mountpoint/.write-test" 2>/dev/null; then
        rm -f "$mountpoint/.write-test"
        umount "$mountpoint"
        echo "cd_drive.sh: the read-only mount at $mountpoint can be written to" >&2
        exit 1
    fi
    echo "cd_drive.sh: $what is mounted read-only at $mountpoint"
    ;;
unmount)
    mountpoint=$2
    if mountpoint -q "$mountpoint"; then
        umount "$mountpoint"
    fi
    ;;
*)
    echo "usage: cd_drive.sh map WINE MOUNTPOINT | mount IMAGE FOLDER MOUNTPOINT | unmount MOUNTPOINT" >&2
    exit 2
    ;;
esac
