#!/usr/bin/env bash
# Runs one Windows program under Wine in the build's private prefix.
#
#   wine-run.sh PROGRAM.exe [ARGS...]
#
# Environment:
#   QV_WINEPREFIX  prefix folder (default: <cwd>/wineprefix); booted on first use
#   QV_WINVER      win98 | win2k | winxp | win7 ...: the Windows version Wine reports
#                  to this program only (AppDefaults key of the program's file name)
#   QV_DEBUGSTR=1  also show OutputDebugString text on stderr
#   QV_DLLOVERRIDES  further Wine DLL overrides (WINEDLLOVERRIDES syntax) for
#                  this program and every program it starts: Wine takes them
#                  from the Linux environment only, not from one a Windows
#                  program sets for its child
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEPREFIX=${QV_WINEPREFIX:-$PWD/wineprefix}
"$here/wine-prefix.sh" init >/dev/null || exit 90
# shellcheck source=/dev/null
. "$WINEPREFIX/qv-env.sh" 2>/dev/null

if [ -n "${QV_DLLOVERRIDES:-}" ]; then
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}$QV_DLLOVERRIDES"
fi
program=$1
shift
if [ -n "${QV_WINVER:-}" ]; then
  exe=$(basename "$program")
  wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$exe" /v Version /d "$QV_WINVER" /f >/dev/null 2>&1
fi
if [ "${QV_DEBUGSTR:-0}" = 1 ]; then
  export WINEDEBUG=-all,+debugstr
fi
exec wine "$program" "$@"
