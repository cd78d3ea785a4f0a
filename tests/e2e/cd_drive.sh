#!/usr/bin/env bash
# cd_drive.sh -- the CD-ROM drive D: of the end-to-end tests: a medium folder mounted read-only
# (a bind mount, so that not even root can write to it) and mapped into a Wine prefix as a drive
# whose type is CD-ROM.
#
#   cd_drive.sh map WINE MOUNTPOINT       adds D: at MOUNTPOINT to $WINEPREFIX; run it before the
#                                         prefix's wineserver starts for the tests
#   cd_drive.sh mount MEDIUM MOUNTPOINT   mounts the folder MEDIUM read-only at MOUNTPOINT
#   cd_drive.sh unmount MOUNTPOINT
#
# Mounting needs root. Where it is not allowed, mount says so and leaves MOUNTPOINT empty, and the
# test that installs from D: skips with a note.
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
    medium=$2
    mountpoint=$3
    mkdir -p "$mountpoint"
    mountpoint -q "$mountpoint" && umount "$mountpoint"
    if [ "$(id -u)" -ne 0 ] ||
       ! mount --bind "$medium" "$mountpoint" 2>/dev/null; then
        echo "cd_drive.sh: not mounted: a read-only mount of the medium needs root; the CD install is skipped"
        exit 0
    fi
    if ! mount -o remount,bind,ro "$mountpoint"; then
        umount "$mountpoint"
        echo "cd_drive.sh: the medium could not be made read-only; the CD install is skipped"
        exit 0
    fi
    if touch "$mountpoint/.write-test" 2>/dev/null; then
        rm -f "$mountpoint/.write-test"
        umount "$mountpoint"
        echo "cd_drive.sh: the read-only mount at $mountpoint can be written to" >&2
        exit 1
    fi
    echo "cd_drive.sh: $medium is mounted read-only at $mountpoint"
    ;;
unmount)
    mountpoint=$2
    if mountpoint -q "$mountpoint"; then
        umount "$mountpoint"
    fi
    ;;
*)
    echo "usage: cd_drive.sh map WINE MOUNTPOINT | mount MEDIUM MOUNTPOINT | unmount MOUNTPOINT" >&2
    exit 2
    ;;
esac
