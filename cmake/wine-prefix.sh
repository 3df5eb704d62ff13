#!/usr/bin/env bash
# Boots, and shuts down, the private Wine prefix the Windows tests run in.
#
#   wine-prefix.sh init       boot the prefix once (reused afterwards), start the
#                             virtual display, write qv-env.sh for the runners
#   wine-prefix.sh shutdown   stop the wineserver and the virtual display
#
# WINEPREFIX must name the prefix folder.
set -u
: "${WINEPREFIX:?WINEPREFIX must be set}"
mkdir -p "$WINEPREFIX"
envfile=$WINEPREFIX/qv-env.sh

# A display number derived from the prefix path, so parallel builds do not meet.
display_number() {
  local sum
  sum=$(printf '%s' "$WINEPREFIX" | cksum | cut -d' ' -f1)
  echo $((100 + sum % 800))
}

start_display() {
  local n=$1
  if [ -e "/tmp/.X11-unix/X$n" ] && xdpyinfo -display ":$n" >/dev/null 2>&1; then return 0; fi
  rm -f "/tmp/.X$n-lock" "/tmp/.X11-unix/X$n"
  setsid Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 </dev/null 9>&- &
  echo $! > "$WINEPREFIX/xvfb.pid"
  for _ in $(seq 1 50); do
    xdpyinfo -display ":$n" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "wine-prefix: Xvfb :$n did not start" >&2
  return 1
}

case "${1:-}" in
  init)
    n=$(display_number)
    cat > "$envfile" <<ENV
export WINEPREFIX='$WINEPREFIX'
export DISPLAY=:$n
export LANG=ko_KR.UTF-8
export LC_ALL=ko_KR.UTF-8
export WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml,winemenubuilder.exe='
ENV
    # shellcheck source=/dev/null
    . "$envfile" 2>/dev/null
    exec 9>"$WINEPREFIX/.init.lock"
    flock 9
    start_display "$n" || exit 1
    if [ ! -f "$WINEPREFIX/.qv-booted" ]; then
      wineboot -i </dev/null >/dev/null 2>&1 9>&-
      # The dialogs ask for the font 굴림 (Gulim); map it to an installed Korean font.
      wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v '굴림' /d 'NanumGothic' /f </dev/null >/dev/null 2>&1 9>&-
      wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Gulim' /d 'NanumGothic' /f </dev/null >/dev/null 2>&1 9>&-
      touch "$WINEPREFIX/.qv-booted"
      # The boot leaves its service manager (services.exe) shutting down but
      # still answering; the next Wine program would start a second one, and
      # a service created through one is unknown to the other. End them all.
      wineserver -k </dev/null >/dev/null 2>&1 9>&-
      wineserver -w </dev/null >/dev/null 2>&1 9>&-
    fi
    # Keep one wineserver (and the system processes it starts: services.exe,
    # winedevice.exe, ...) alive for the whole run, detached from every test's
    # output pipes; otherwise CTest waits on pipes those processes inherit.
    # "wineserver -p" answers 0 when it started a server, 2 when one runs already.
    if setsid -w wineserver -p </dev/null >/dev/null 2>&1 9>&-; then
      setsid -w wine cmd /c exit </dev/null >/dev/null 2>&1 9>&-
    fi
    echo "prefix $WINEPREFIX ready on display :$n"
    ;;
  shutdown)
    [ -f "$envfile" ] && . "$envfile" 2>/dev/null
    wineserver -k >/dev/null 2>&1 || true
    if [ -f "$WINEPREFIX/xvfb.pid" ]; then
      kill "$(cat "$WINEPREFIX/xvfb.pid")" >/dev/null 2>&1 || true
      rm -f "$WINEPREFIX/xvfb.pid"
    fi
    echo "prefix $WINEPREFIX shut down"
    ;;
  *)
    echo "usage: wine-prefix.sh init|shutdown" >&2
    exit 2
    ;;
esac
