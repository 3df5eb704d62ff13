#!/usr/bin/env bash
# The single-instance mutex name QVSetup.exe really asks for, read from Wine's
# relay trace of a second copy started while a first one runs; that copy
# must be told the mutex already exists and end without a wizard.
#
#   mutex_name_test.sh QVSetup.exe WINVER EXPECTED_NAME
#
# Wine keeps the reported Windows version per file name, so the program runs
# as a copy named for the version.
set -u
program=$1
winver=$2
expected=$3
export WINEPREFIX=${QV_WINEPREFIX:?}
. "$WINEPREFIX/qv-env.sh" 2>/dev/null
work=$(mktemp -d)
copy=$work/QVSetup_$winver.exe
cp "$program" "$copy"
wine reg add "HKCU\\Software\\Wine\\AppDefaults\\QVSetup_$winver.exe" /v Version /d "$winver" /f >/dev/null 2>&1

wine "$copy" >/dev/null 2>&1 &
first=$!
cleanup() {
  kill "$first" 2>/dev/null
  wait "$first" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 1 100); do
  xdotool search --onlyvisible --name 'Korvane Free' >/dev/null 2>&1 && break
  sleep 0.2
done
xdotool search --onlyvisible --name 'Korvane Free' >/dev/null 2>&1 || { echo "FAIL: first copy shows no wizard"; exit 1; }

start=$(date +%s%N)
WINEDEBUG=+relay timeout 60 wine "$copy" 2>"$work/relay.log" >/dev/null
end=$(date +%s%N)
echo "second copy ($winver) ended after $(( (end - start) / 1000000 )) ms"
call=$(grep -a -m1 'KERNEL32.CreateMutexA(' "$work/relay.log")
echo "$call"
windows=$(xdotool search --onlyvisible --name 'Korvane Free' | wc -l)
echo "wizard windows on the display: $windows"
name=$(printf '%s' "$call" | sed -n 's/.*CreateMutexA([^"]*"\(.*\)") ret=.*/\1/p' | sed 's/\\\\/\\/g')
echo "mutex name: $name"
# The error code the program reads right after CreateMutexA returns: b7 is ERROR_ALREADY_EXISTS.
error=$(awk '/Ret  KERNEL32.CreateMutexA\(/ { after = 1 }
  after && /Ret  KERNEL32.GetLastError\(/ { sub(/.*retval=/, ""); sub(/ .*/, ""); print; exit }' "$work/relay.log")
echo "error after CreateMutexA: $error"
[ "$name" = "$expected" ] || { echo "FAIL: expected $expected"; exit 1; }
[ "$error" = 000000b7 ] || { echo "FAIL: the second copy was not told the mutex exists"; exit 1; }
[ "$windows" = 1 ] || { echo "FAIL: expected one wizard window"; exit 1; }
echo "PASS"
