#!/usr/bin/env bash
# Provides the folder C:\QuilloFullDisk in a Wine prefix on a small file system of its own, so
# that a test can fill it up and let a program run out of disk space for real.
#   full_disk.sh mount <folder for the file system> <prefix>
#   full_disk.sh unmount <folder for the file system> <prefix>
# Mounting needs the right to mount a tmpfs (root in most containers). Without it the folder is
# not provided and the test that needs it skips itself; mount therefore never fails.
set -uo pipefail

action="$1"
disk="$2"
prefix="$3"
link="$prefix/drive_c/QuilloFullDisk"
here="$(cd "$(dirname "$0")" && pwd)"

case "$action" in
mount)
    # The prefix is made (booted) first, so that the link does not precede it.
    "$here/../../tools/wine-run.sh" --prefix "$prefix" cmd /c exit >/dev/null 2>&1 || true
    mkdir -p "$disk"
    if ! mountpoint -q "$disk"; then
        if ! mount -t tmpfs -o size=2m,mode=0755 quillo_full_disk "$disk" 2>/dev/null; then
            echo "full_disk.sh: cannot mount a tmpfs at $disk; the full-disk test will skip"
            rm -f "$link"
            exit 0
        fi
    fi
    ln -sfn "$disk" "$link"
    echo "full_disk.sh: C:\\QuilloFullDisk is a 2 MB tmpfs at $disk"
    ;;
unmount)
    rm -f "$link"
    if mountpoint -q "$disk"; then
        umount "$disk" || umount -l "$disk"
    fi
    rmdir "$disk" 2>/dev/null || true
    ;;
*)
    echo "usage: full_disk.sh mount|unmount <folder> <prefix>" >&2
    exit 2
    ;;
esac
