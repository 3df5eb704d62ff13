#!/usr/bin/env bash
# Real input and screenshots for the window tests, run by the Windows test
# driver through Wine (which starts Unix programs directly). DISPLAY comes
# from the test prefix's environment.
#
#   xinput.sh click X Y          left click at screen point (X, Y)
#   xinput.sh key KEY...         key strokes (xdotool names: Escape, BackSpace, ctrl+End)
#   xinput.sh type TEXT          types TEXT
#   xinput.sh shot FILE.png      screenshot of the whole display
#   xinput.sh clickdesk NAME X Y left click at (X, Y) of Wine's virtual desktop NAME
set -u
[ -n "${QV_WINEPREFIX:-}" ] && [ -f "$QV_WINEPREFIX/qv-env.sh" ] && . "$QV_WINEPREFIX/qv-env.sh" 2>/dev/null
cmd=${1:-}
shift || true
case "$cmd" in
  # The pointer first leaves for a corner no window covers, so that the move
  # to the target is a real entry into the window under it. Key strokes go
  # to the window under the pointer (no window manager sets a focus), so the
  # pointer stays on the target afterwards.
  click)
    timeout 10 xdotool mousemove 1020 765
    sleep 0.1
    timeout 10 xdotool mousemove "$1" "$2"
    sleep 0.2
    timeout 10 xdotool click 1 ;;
  key) timeout 10 xdotool key --delay 80 "$@" ;;
  type) timeout 10 xdotool type --delay 80 "$*" ;;
  shot) mkdir -p "$(dirname "$1")" && timeout 20 import -window root "$1" ;;
  clickdesk)
    wid=$(xdotool search --name "^$1 - " | head -n 1)
    [ -n "$wid" ] || { echo "no desktop $1" >&2; exit 1; }
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    timeout 10 xdotool mousemove $((X + $2)) $((Y + $3))
    sleep 0.2
    timeout 10 xdotool click 1 ;;
  *) echo "usage: xinput.sh click|key|type|shot|clickdesk ..." >&2; exit 2 ;;
esac
sleep 0.3
