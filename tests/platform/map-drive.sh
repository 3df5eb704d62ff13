#!/bin/sh
# Maps, or unmaps, a DOS drive letter of the test Wine prefix to a folder, so
# a test can treat that folder as the root of a Windows drive.
#
#   map-drive.sh map LETTER FOLDER    (FOLDER is created empty)
#   map-drive.sh unmap LETTER
set -eu
: "${QV_WINEPREFIX:?QV_WINEPREFIX must be set}"
link="$QV_WINEPREFIX/dosdevices/$(echo "$2" | tr 'A-Z' 'a-z'):"
case "$1" in
  map)
    rm -rf "$3"
    mkdir -p "$3"
    ln -sfn "$3" "$link"
    ;;
  unmap)
    rm -f "$link"
    ;;
  *)
    echo "usage: map-drive.sh map|unmap LETTER [FOLDER]" >&2
    exit 2
    ;;
esac
