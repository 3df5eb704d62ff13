#!/usr/bin/env bash
# Shows the installer at work with one command, on a fresh machine too:
#
#   ./scripts/demo.sh [--port N] [--watch] [--nginx PATH]
#
#   1. sets the machine up (scripts/setup.sh), builds the release tool
#      (build/host, qvpublish) and a Windows build whose update servers are
#      127.0.0.1 at port N (build/demo-windows: QVSetup.exe, the sample
#      product and the demo's driver, tests/demo/);
#   2. publishes the sample release into build/demo/docroot;
#   3. serves it with nginx on 127.0.0.1:N (default 18780), as the current
#      user, with the reference configuration server/nginx/qvsetup-release.conf.in;
#      pid, logs and temporary files in build/demo/nginx;
#   4. runs the real QVSetup.exe under Wine in a fresh prefix
#      (build/demo/wineprefix) on a virtual display and clicks through it
#      (Next, agree, Next, wait, Done), saving a screenshot of every page in
#      build/demo/screens; with --watch the wizard opens on $DISPLAY instead
#      and you click through it yourself;
#   5. prints a report: result page, time, installed files against the
#      release, registry values, shortcuts, uninstall entry, Run value,
#      service, news links and nginx's access log.
#
# nginx stops when the demo ends, also on Ctrl+C or failure. Exits non-zero
# with the reason ("demo: FAILED (...)", the last line) when a step fails.
# QV_BUILD_ROOT changes the build folder (default ./build), QV_DEMO_PORT the
# default port.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build_root=${QV_BUILD_ROOT:-$root/build}
demo=$build_root/demo
# The Windows build targets i686, as shipped, or x86_64 on a machine whose
# kernel runs no 32-bit code (scripts/windows-arch.sh).
arch=$("$root/scripts/windows-arch.sh")
win=$build_root/demo-windows
[ "$arch" = i686 ] || win=$build_root/demo-windows-$arch
host=$build_root/host
prefix=$demo/wineprefix
logs=$demo/logs
ngx=$demo/nginx
docroot=$demo/docroot
port=${QV_DEMO_PORT:-18780}
watch=0
nginx_bin=
started=$(date +%s%N)

usage() {
  echo "usage: scripts/demo.sh [--port N] [--watch] [--nginx PATH]" >&2
  exit 2
}
while [ $# -gt 0 ]; do
  case $1 in
    --port) [ $# -ge 2 ] || usage; port=$2; shift 2 ;;
    --port=*) port=${1#--port=}; shift ;;
    --nginx) [ $# -ge 2 ] || usage; nginx_bin=$2; shift 2 ;;
    --nginx=*) nginx_bin=${1#--nginx=}; shift ;;
    --watch) watch=1; shift ;;
    -h|--help) sed -n '2,25p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) usage ;;
  esac
done

fail() {
  echo "demo: FAILED ($*)"
  exit 1
}
# Tenths of a second since the start, as "12.3".
elapsed() {
  local tenths=$((($(date +%s%N) - started) / 100000000))
  echo "$((tenths / 10)).$((tenths % 10))"
}
# step TEXT: one line per step, with the seconds since the start.
step() {
  printf '[%5ss] %s\n' "$(elapsed)" "$*"
}
# show_log FILE: the end of a step's log, after a failure.
show_log() {
  echo "---- last lines of $1"
  tail -n 25 "$1"
  echo "----"
}

if [ $watch = 1 ]; then
  [ -n "${DISPLAY:-}" ] || fail "--watch needs a display: DISPLAY is not set"
  user_display=$DISPLAY
fi

# Everything this run started is stopped by its process id on the way out.
cleanup() {
  if [ -f "$prefix/qv-env.sh" ]; then
    WINEPREFIX=$prefix "$root/cmake/wine-prefix.sh" shutdown >/dev/null 2>&1
  fi
  "$root/server/nginx/serve-release.sh" stop "$ngx" >/dev/null 2>&1
}
trap cleanup EXIT
trap 'echo; fail "interrupted"' INT
trap 'fail "terminated"' TERM

rm -rf "$logs"
mkdir -p "$demo" "$logs"

# 1. The machine, the release tool and the Windows build.
step "setting up the machine (scripts/setup.sh)"
"$root/scripts/setup.sh" >"$logs/setup.log" 2>&1 || { show_log "$logs/setup.log"; fail "scripts/setup.sh failed"; }

# nginx there and the port free, before anything slow.
nginx_opt=()
[ -n "$nginx_bin" ] && nginx_opt=(--nginx "$nginx_bin")
serve=$root/server/nginx/serve-release.sh
checked=$("$serve" check "$port" ${nginx_opt[@]+"${nginx_opt[@]}"} 2>&1) || fail "${checked#serve-release: }"

step "building the release tool (build/host: qvpublish)"
if [ ! -f "$host/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$host" -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$logs/host-configure.log" 2>&1 \
    || { show_log "$logs/host-configure.log"; fail "configuring build/host failed"; }
fi
cmake --build "$host" -j 2 --target qvpublish >"$logs/host-build.log" 2>&1 \
  || { show_log "$logs/host-build.log"; fail "building qvpublish failed"; }
qvpublish=$host/tools/qvpublish/qvpublish

step "building QVSetup.exe ($arch) for 127.0.0.1:$port (${win#$root/})"
# Configured again only when the port (or anything else the demo sets) changed.
# The demo's programs trust the sample release key, which signs the sample release.
sample_key=$(cat "$root/server/sample-release-key.SAMPLE-ONLY.pub")
settings=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=RelWithDebInfo
          -DQV_PRIMARY_UPDATE_HOST=127.0.0.1 -DQV_SECONDARY_UPDATE_HOST=127.0.0.1
          -DQV_CONFIG_SERVER_PORT="$port" -DQV_RELEASE_PUBLIC_KEYS="$sample_key")
configured=1
for s in "QV_PRIMARY_UPDATE_HOST:STRING=127.0.0.1" "QV_SECONDARY_UPDATE_HOST:STRING=127.0.0.1" \
         "QV_CONFIG_SERVER_PORT:STRING=$port" "QV_RELEASE_PUBLIC_KEYS:STRING=$sample_key"; do
  grep -qx "$s" "$win/CMakeCache.txt" 2>/dev/null || configured=0
done
if [ $configured = 0 ]; then
  cmake -S "$root" -B "$win" "${settings[@]}" >"$logs/windows-configure.log" 2>&1 \
    || { show_log "$logs/windows-configure.log"; fail "configuring ${win#$root/} failed"; }
fi
cmake --build "$win" -j 2 --target QVSetup sample_product qvdemo >"$logs/windows-build.log" 2>&1 \
  || { show_log "$logs/windows-build.log"; fail "building QVSetup.exe and the demo's driver failed"; }
grep -q '^QV_CONFIG_SERVER_PORT:STRING='"$port"'$' "$win/CMakeCache.txt" \
  || fail "${win#$root/} is not configured for port $port"
setup_exe=$win/app/QVSetup.exe
driver_exe=$win/tests/demo/qvdemo.exe
product=$(sed -n 's/^QV_SAMPLE_PRODUCT_DIR:PATH=//p' "$win/CMakeCache.txt")
[ -n "$product" ] || product=$win/server/product/bin

# 2. The release.
step "publishing the sample release (build/demo/docroot)"
rm -rf "$docroot"
sh "$root/server/make-sample-release.sh" "$qvpublish" "$product" "$docroot" 127.0.0.1 "$port" \
  >"$logs/publish.log" 2>&1 || { show_log "$logs/publish.log"; fail "publishing the sample release failed"; }

# 3. nginx with the reference configuration; every file it writes stays in
# build/demo/nginx.
step "starting nginx on 127.0.0.1:$port (${checked%%;*})"
# The demo only: the service's package arrives in about six seconds, so that
# the install page can be seen (and photographed) with its bar mid-way.
slow_package=/TKAS/AccessFile/Update5/Personal/KorvaneFree/Program/QVServiceNt.exe.cab
slow_size=$(stat -c %s "$docroot$slow_package" 2>/dev/null) || fail "the release has no $slow_package"
slow_rate=$((slow_size / 6 > 256 ? slow_size / 6 : 256))
cat >"$demo/slow-package.conf" <<CONF
location = $slow_package {
    limit_except GET {
        deny all;
    }
    limit_rate $slow_rate;
    try_files \$uri =404;
}
CONF
served=$("$serve" start "$docroot" "$port" "$ngx" ${nginx_opt[@]+"${nginx_opt[@]}"} \
         --site "$demo/slow-package.conf" 2>&1) || fail "${served#serve-release: }"

# Two checks of what the installer relies on: a file with its length, and
# the news answer to a POST.
base=http://127.0.0.1:$port/TKAS/AccessFile/Update5/Personal/KorvaneFree
config_file=$docroot/TKAS/AccessFile/Update5/Personal/KorvaneFree/QVConfig.dat
headers=$(curl -s -o /dev/null -D - "$base/QVConfig.dat" | tr -d '\r')
echo "$headers" | head -n 1 | grep -q ' 200' || fail "GET QVConfig.dat: $(echo "$headers" | head -n 1)"
echo "$headers" | grep -qix "content-length: $(stat -c %s "$config_file")" \
  || fail "GET QVConfig.dat came without its Content-Length"
! echo "$headers" | grep -qi '^transfer-encoding:' || fail "GET QVConfig.dat came chunked"
news=$docroot/TKAS/AccessFile/Update5/Personal/KorvaneFree/News/QVNews.txt
news_status=$(curl -s -o "$ngx/news-answer.txt" -w '%{http_code}' -X POST -H 'PROGVER: demo-check' \
  -H 'Content-Length: 0' "$base/News/QVNews.txt?DUMMY=0000")
[ "$news_status" = 200 ] || fail "POST to the news file answered $news_status, not 200"
cmp -s "$ngx/news-answer.txt" "$news" || fail "POST to the news file did not return the file"
step "nginx checks: GET QVConfig.dat 200 with Content-Length; POST News/QVNews.txt 200 with the file"
# The installer's requests are the log's lines after these two.
for _ in $(seq 1 20); do [ "$(wc -l <"$ngx/logs/access.log" 2>/dev/null || echo 0)" -ge 2 ] && break; sleep 0.1; done
log_from=$(stat -c %s "$ngx/logs/access.log" 2>/dev/null || echo 0)

# 4. The installer, in a prefix booted for this run.
step "booting a fresh Wine prefix (build/demo/wineprefix)"
if [ -f "$prefix/qv-env.sh" ]; then
  WINEPREFIX=$prefix "$root/cmake/wine-prefix.sh" shutdown >/dev/null 2>&1
fi
rm -rf "$prefix" "$demo/screens" "$demo/driver-report.txt"
WINEPREFIX=$prefix "$root/cmake/wine-prefix.sh" init >"$logs/prefix.log" 2>&1 \
  || { show_log "$logs/prefix.log"; fail "the Wine prefix did not boot"; }
if [ $watch = 1 ]; then
  # The prefix's own display goes; the wizard opens on the user's.
  WINEPREFIX=$prefix "$root/cmake/wine-prefix.sh" shutdown >/dev/null 2>&1
else
  # The virtual display has no window manager: Wine draws the frames itself,
  # so the screenshots show the wizard's title bar as Windows would.
  ( . "$prefix/qv-env.sh" 2>/dev/null
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f ) >>"$logs/prefix.log" 2>&1 </dev/null
fi
# The boot leaves a service manager (services.exe) that is shutting down but
# still answers; the next Wine program starts a second one, and the two
# would each know only the services created through them. End every Wine
# process of the prefix, so that the driver starts the one service manager
# the installer and the report share.
( . "$prefix/qv-env.sh" 2>/dev/null
  wineserver -k; wineserver -w ) >>"$logs/prefix.log" 2>&1 </dev/null

windows_path() { echo "Z:${1//\//\\}"; }
if [ $watch = 1 ]; then
  step "QVSetup.exe is open on $user_display: click through it (Next, agree, Next, Done)"
  mode=watch
  limit=1500
else
  step "running QVSetup.exe under Wine: Next, agree, Next, wait, Done"
  mode=drive
  limit=300
fi
# In the background, so that Ctrl+C is handled at once: the cleanup ends
# every Wine process of the prefix.
(
  # shellcheck source=/dev/null
  . "$prefix/qv-env.sh" 2>/dev/null
  [ $watch = 1 ] && export DISPLAY=$user_display
  export QV_SOURCE_DIR=$root QV_BINARY_DIR=$win QV_WINEPREFIX=$prefix
  # Wine's own trace channels for a look inside ("+debugstr,+service").
  [ -n "${QV_DEMO_WINEDEBUG:-}" ] && export WINEDEBUG=$QV_DEMO_WINEDEBUG
  exec timeout "$limit" wine "$driver_exe" "$mode" "$(windows_path "$setup_exe")" "$demo"
) >"$logs/driver.log" 2>&1 </dev/null &
wait $!
tail -n 1 "$demo/driver-report.txt" 2>/dev/null | grep -qx end \
  || { show_log "$logs/driver.log"; fail "the demo's driver did not finish (see $logs/driver.log)"; }
step "the wizard has closed"

# 5. The report.
echo
echo "QVSetup demo: $setup_exe"
echo "  release     $docroot, served by nginx at 127.0.0.1:$port ($ngx/nginx.conf)"
echo "  Wine prefix $prefix"
python3 "$root/tests/demo/demo_report.py" --facts "$demo/driver-report.txt" --prefix "$prefix" \
  --qvpublish "$qvpublish" --docroot "$docroot" --access-log "$ngx/logs/access.log" \
  --log-from "$log_from" --server "127.0.0.1:$port" --signed >"$demo/report.txt" 2>&1
status=$?
summary=$(tail -n 1 "$demo/report.txt")
head -n -1 "$demo/report.txt"
echo
step "demo finished"
if [ $status -ne 0 ] || [[ $summary != "demo: passed ("* ]]; then
  reason=${summary#demo: FAILED (}
  fail "${reason%)}"
fi
echo "${summary%)}, $(elapsed) s in all)"
