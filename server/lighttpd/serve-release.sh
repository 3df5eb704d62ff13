#!/usr/bin/env bash
# Serves a release tree on this machine with lighttpd and the reference
# configuration (qvsetup-release.conf.in beside this script), as the current
# user, with every file lighttpd writes (configuration, pid, logs) in one
# folder of yours.
#
#   serve-release.sh check PORT [--lighttpd PATH]
#       is lighttpd there, and is 127.0.0.1:PORT free?
#   serve-release.sh start ROOT PORT DIR [--lighttpd PATH]
#       serves ROOT on 127.0.0.1:PORT; DIR receives lighttpd.conf,
#       qvsetup-release.conf, lighttpd.pid, logs/access.log and logs/error.log
#   serve-release.sh stop DIR
#       stops the lighttpd started with DIR at once (downloads in progress end)
#
# lighttpd is --lighttpd PATH, else the first lighttpd in PATH, else
# /usr/sbin/lighttpd. Exits 0 on success; 1 with one line
# "serve-release: REASON" on stderr; 2 on a wrong command line.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

usage() {
  sed -n '7,13p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}
fail() {
  echo "serve-release: $*" >&2
  exit 1
}
# shellcheck source=../serve-common.sh
. "$here/../serve-common.sh"

command=${1:-}
shift || usage
positional=()
lighttpd_bin=
while [ $# -gt 0 ]; do
  case $1 in
    --lighttpd) [ $# -ge 2 ] || usage; lighttpd_bin=$2; shift 2 ;;
    -*) usage ;;
    *) positional+=("$1"); shift ;;
  esac
done

find_lighttpd() {
  if [ -z "$lighttpd_bin" ]; then
    lighttpd_bin=$(command -v lighttpd || true)
    [ -n "$lighttpd_bin" ] || { [ -x /usr/sbin/lighttpd ] && lighttpd_bin=/usr/sbin/lighttpd; }
    [ -n "$lighttpd_bin" ] || fail "lighttpd not found in PATH nor /usr/sbin: install the Debian package lighttpd (scripts/setup.sh does) or name the program with --lighttpd PATH"
  fi
  [ -f "$lighttpd_bin" ] && [ -x "$lighttpd_bin" ] || fail "lighttpd not found: '$lighttpd_bin' is not an executable program"
  "$lighttpd_bin" -v >/dev/null 2>&1 || fail "lighttpd does not run: '$lighttpd_bin -v' failed"
}

case $command in
  check)
    [ ${#positional[@]} -eq 1 ] || usage
    port=${positional[0]}
    find_lighttpd
    check_port
    echo "lighttpd $lighttpd_bin; port $port free"
    ;;
  start)
    [ ${#positional[@]} -eq 3 ] || usage
    root=${positional[0]} port=${positional[1]} dir=${positional[2]}
    [ -d "$root" ] || fail "no release tree at $root"
    find_lighttpd
    check_port
    mkdir -p "$dir" || fail "cannot create $dir"
    root=$(cd "$root" && pwd) dir=$(cd "$dir" && pwd)
    stop_pid_file "$dir/lighttpd.pid"
    mkdir -p "$dir/logs"
    rm -f "$dir/logs/access.log" "$dir/logs/error.log"
    sed -e "s|@RELEASE_ROOT@|$root|" -e "s|@ACCESS_LOG@|$dir/logs/access.log|" \
        "$here/qvsetup-release.conf.in" >"$dir/qvsetup-release.conf"
    cat >"$dir/lighttpd.conf" <<CONF
# Made by server/lighttpd/serve-release.sh: lighttpd for one release tree.
# No mod_deflate, mod_dirlisting or mod_indexfile: files as stored, no
# listings, no index pages.
server.modules = ("mod_access", "mod_setenv", "mod_staticfile", "mod_accesslog")
server.bind = "127.0.0.1"
server.port = $port
server.pid-file = "$dir/lighttpd.pid"
server.errorlog = "$dir/logs/error.log"
include "$dir/qvsetup-release.conf"
CONF
    "$lighttpd_bin" -tt -f "$dir/lighttpd.conf" >"$dir/logs/check.log" 2>&1 \
      || fail "lighttpd rejects $dir/lighttpd.conf: $(head -n 1 "$dir/logs/check.log")"
    # lighttpd detaches itself once it listens.
    if ! "$lighttpd_bin" -f "$dir/lighttpd.conf" >"$dir/logs/start.log" 2>&1; then
      fail "lighttpd did not start: $(grep -m 1 -h . "$dir/logs/start.log" "$dir/logs/error.log")"
    fi
    if ! wait_until_serving "$dir/lighttpd.pid"; then
      stop_pid_file "$dir/lighttpd.pid"
      fail "lighttpd does not answer on 127.0.0.1:$port"
    fi
    echo "serving $root at http://127.0.0.1:$port/ (lighttpd $(cat "$dir/lighttpd.pid"), configuration $dir/lighttpd.conf)"
    ;;
  stop)
    [ ${#positional[@]} -eq 1 ] || usage
    stop_pid_file "${positional[0]}/lighttpd.pid"
    ;;
  *) usage ;;
esac
