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
  click) xdotool mousemove --sync "$1" "$2" click 1 ;;
  key) xdotool key --delay 80 "$@" ;;
  type) xdotool type --delay 80 "$*" ;;
  shot) mkdir -p "$(dirname "$1")" && import -window root "$1" ;;
  clickdesk)
    wid=$(xdotool search --name "^$1 - " | head -n 1)
    [ -n "$wid" ] || { echo "no desktop $1" >&2; exit 1; }
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    xdotool mousemove --sync $((X + $2)) $((Y + $3)) click 1 ;;
  *) echo "usage: xinput.sh click|key|type|shot|clickdesk ..." >&2; exit 2 ;;
esac
sleep 0.3
