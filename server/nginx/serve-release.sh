#!/usr/bin/env bash
# Serves a release tree on this machine with nginx and the reference
# configuration (qvsetup-release.conf.in beside this script), as the current
# user, with every file nginx writes (configuration, pid, logs, temporary
# files) in one folder of yours.
#
#   serve-release.sh check PORT [--nginx PATH]
#       is nginx there, and is 127.0.0.1:PORT free?
#   serve-release.sh start ROOT PORT DIR [--nginx PATH] [--site FILE.conf]...
#       serves ROOT on 127.0.0.1:PORT; DIR receives nginx.conf,
#       qvsetup-release.conf, site/ (the --site files: locations added to the
#       server block), nginx.pid, logs/access.log and logs/error.log
#   serve-release.sh stop DIR
#       stops the nginx started with DIR at once (downloads in progress end)
#
# nginx is --nginx PATH, else the first nginx in PATH, else /usr/sbin/nginx.
# Exits 0 on success; 1 with one line "serve-release: REASON" on stderr; 2 on
# a wrong command line.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

usage() {
  sed -n '7,14p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}
fail() {
  echo "serve-release: $*" >&2
  exit 1
}

command=${1:-}
shift || usage
positional=()
nginx_bin=
sites=()
while [ $# -gt 0 ]; do
  case $1 in
    --nginx) [ $# -ge 2 ] || usage; nginx_bin=$2; shift 2 ;;
    --site) [ $# -ge 2 ] || usage; sites+=("$2"); shift 2 ;;
    -*) usage ;;
    *) positional+=("$1"); shift ;;
  esac
done

find_nginx() {
  if [ -z "$nginx_bin" ]; then
    nginx_bin=$(command -v nginx || true)
    [ -n "$nginx_bin" ] || { [ -x /usr/sbin/nginx ] && nginx_bin=/usr/sbin/nginx; }
    [ -n "$nginx_bin" ] || fail "nginx not found in PATH nor /usr/sbin: install the Debian package nginx (scripts/setup.sh does) or name the program with --nginx PATH"
  fi
  [ -f "$nginx_bin" ] && [ -x "$nginx_bin" ] || fail "nginx not found: '$nginx_bin' is not an executable program"
  "$nginx_bin" -v >/dev/null 2>&1 || fail "nginx does not run: '$nginx_bin -v' failed"
}

# answers, check_port, stop_pid_file, wait_until_serving.
# shellcheck source=../serve-common.sh
. "$here/../serve-common.sh"

# nginx removes its pid file itself; a missing one is no failure.
stop() { stop_pid_file "$1/nginx.pid"; }

case $command in
  check)
    [ ${#positional[@]} -eq 1 ] || usage
    port=${positional[0]}
    find_nginx
    check_port
    echo "nginx $nginx_bin; port $port free"
    ;;
  start)
    [ ${#positional[@]} -eq 3 ] || usage
    root=${positional[0]} port=${positional[1]} dir=${positional[2]}
    [ -d "$root" ] || fail "no release tree at $root"
    find_nginx
    check_port
    mkdir -p "$dir" || fail "cannot create $dir"
    root=$(cd "$root" && pwd) dir=$(cd "$dir" && pwd)
    stop "$dir"
    rm -rf "$dir/site" "$dir/tmp"
    mkdir -p "$dir/site" "$dir/tmp" "$dir/logs"
    rm -f "$dir/logs/access.log" "$dir/logs/error.log"
    for site in ${sites[@]+"${sites[@]}"}; do
      cp "$site" "$dir/site/" || fail "cannot copy $site"
    done
    sed -e "s|@LISTEN@|127.0.0.1:$port|" -e "s|@RELEASE_ROOT@|$root|" \
        -e "s|@ACCESS_LOG@|$dir/logs/access.log|" -e "s|@SITE_CONF@|$dir/site|" \
        "$here/qvsetup-release.conf.in" >"$dir/qvsetup-release.conf"
    # A master process started as root would hand the work to "nobody":
    # keep it with the current user.
    user_line=
    [ "$(id -u)" -eq 0 ] && user_line="user $(id -un) $(id -gn);"
    # Connections for a real deployment: 100 installs at once already
    # overran nginx's 64 ("worker_connections are not enough"). Each download
    # holds two descriptors (the connection and the file it sends), so the
    # worker's file limit is twice its connections; a user can raise its own
    # soft limit only up to the hard one, so a lower hard limit scales both
    # down instead of failing.
    files=8192
    hard=$(ulimit -Hn)
    [ "$hard" = unlimited ] || [ "$hard" -ge "$files" ] || files=$hard
    connections=$((files / 2 < 4096 ? files / 2 : 4096))
    cat >"$dir/nginx.conf" <<CONF
# Made by server/nginx/serve-release.sh: nginx for one release tree.
$user_line
worker_processes 1;
worker_rlimit_nofile $files;
pid $dir/nginx.pid;
error_log $dir/logs/error.log notice;
events {
    worker_connections $connections;
}
http {
    client_body_temp_path $dir/tmp/body;
    proxy_temp_path $dir/tmp/proxy;
    fastcgi_temp_path $dir/tmp/fastcgi;
    uwsgi_temp_path $dir/tmp/uwsgi;
    scgi_temp_path $dir/tmp/scgi;
    sendfile on;
    access_log off;
    include $dir/qvsetup-release.conf;
}
CONF
    nginx=("$nginx_bin" -p "$dir" -c "$dir/nginx.conf" -e "$dir/logs/error.log")
    "${nginx[@]}" -t >"$dir/logs/check.log" 2>&1 \
      || fail "nginx rejects $dir/nginx.conf: $(grep -m 1 -E 'emerg|error' "$dir/logs/check.log")"
    if ! "${nginx[@]}" >"$dir/logs/start.log" 2>&1; then
      grep -q 'Address already in use' "$dir/logs/error.log" "$dir/logs/start.log" 2>/dev/null \
        && fail "port $port is already in use: stop that server or choose another port"
      fail "nginx did not start: $(grep -m 1 -E 'emerg|error' "$dir/logs/error.log" "$dir/logs/start.log")"
    fi
    for _ in $(seq 1 50); do [ -s "$dir/nginx.pid" ] && answers && break; sleep 0.1; done
    if ! answers; then
      stop "$dir"
      fail "nginx does not answer on 127.0.0.1:$port"
    fi
    echo "serving $root at http://127.0.0.1:$port/ (nginx $(cat "$dir/nginx.pid"), configuration $dir/nginx.conf)"
    ;;
  stop)
    [ ${#positional[@]} -eq 1 ] || usage
    stop "${positional[0]}"
    ;;
  *) usage ;;
esac
