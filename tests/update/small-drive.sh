#!/bin/sh
# Gives the test Wine prefix a small drive that a test can fill up: a tmpfs
# of SIZE mounted on FOLDER and mapped as drive LETTER. Mounting needs root;
# without it the letter stays unmapped and the tests that need the drive
# skip (they say so).
#
#   small-drive.sh mount LETTER FOLDER SIZE     (SIZE as mount takes it: 4m)
#   small-drive.sh unmount LETTER FOLDER
set -u
: "${QV_WINEPREFIX:?QV_WINEPREFIX must be set}"
here=$(cd "$(dirname "$0")" && pwd)
map="$here/../platform/map-drive.sh"
case "$1" in
  mount)
    umount "$3" 2>/dev/null
    "$map" map "$2" "$3" || exit 1
    if ! mount -t tmpfs -o "size=$4,mode=0777" qv-small-drive "$3" 2>/dev/null; then
      "$map" unmap "$2"
      echo "small-drive: cannot mount a tmpfs here (not root?); drive $2: stays unmapped"
    fi
    ;;
  unmount)
    "$map" unmap "$2"
    umount "$3" 2>/dev/null
    rmdir "$3" 2>/dev/null
    ;;
  *)
    echo "usage: small-drive.sh mount LETTER FOLDER SIZE | unmount LETTER FOLDER" >&2
    exit 2
    ;;
esac
exit 0
