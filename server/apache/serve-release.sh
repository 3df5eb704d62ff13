#!/usr/bin/env bash
# Serves a release tree on this machine with Apache httpd and the reference
# configuration (qvsetup-release.conf.in beside this script), with every
# file Apache writes (configuration, pid, logs, run files) in one folder of
# yours. It runs as the current user; started as root, its workers run as
# "nobody" (Apache serves nothing as root), who must be able to read ROOT.
#
#   serve-release.sh check PORT [--apache PATH]
#       is Apache there, and is 127.0.0.1:PORT free?
#   serve-release.sh start ROOT PORT DIR [--apache PATH] [--stock]
#       serves ROOT on 127.0.0.1:PORT; DIR receives httpd.conf,
#       qvsetup-release.conf, httpd.pid, logs/access.log and logs/error.log.
#       --stock leaves out the reference Cache-Control header, as Apache
#       answers by default (to see what qvcheck says about such a server)
#   serve-release.sh stop DIR
#       stops the Apache started with DIR at once (downloads in progress end)
#
# Apache is --apache PATH, else apache2 or httpd in PATH or /usr/sbin; its
# modules are looked for in /usr/lib/apache2/modules, /usr/lib64/httpd/modules
# and /usr/lib/httpd/modules. Exits 0 on success; 1 with one line
# "serve-release: REASON" on stderr; 2 on a wrong command line.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

usage() {
  sed -n '8,16p' "$0" | sed 's/^# \{0,1\}//' >&2
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
apache_bin=
stock=0
while [ $# -gt 0 ]; do
  case $1 in
    --apache) [ $# -ge 2 ] || usage; apache_bin=$2; shift 2 ;;
    --stock) stock=1; shift ;;
    -*) usage ;;
    *) positional+=("$1"); shift ;;
  esac
done

find_apache() {
  if [ -z "$apache_bin" ]; then
    for candidate in apache2 httpd /usr/sbin/apache2 /usr/sbin/httpd; do
      apache_bin=$(command -v "$candidate" 2>/dev/null) && break
    done
    [ -n "$apache_bin" ] || fail "Apache not found in PATH nor /usr/sbin: install the Debian package apache2 (scripts/setup.sh does) or name the program with --apache PATH"
  fi
  [ -f "$apache_bin" ] && [ -x "$apache_bin" ] || fail "Apache not found: '$apache_bin' is not an executable program"
  "$apache_bin" -v >/dev/null 2>&1 || fail "Apache does not run: '$apache_bin -v' failed"
  modules=
  for candidate in /usr/lib/apache2/modules /usr/lib64/httpd/modules /usr/lib/httpd/modules; do
    [ -f "$candidate/mod_headers.so" ] && { modules=$candidate; break; }
  done
  [ -n "$modules" ] || fail "Apache's modules (mod_headers.so) not found in /usr/lib/apache2/modules nor /usr/lib*/httpd/modules"
}

# LoadModule lines for the modules the configuration uses that are not built
# into this Apache.
load_modules() {
  local builtin name
  builtin=$("$apache_bin" -l 2>/dev/null)
  for name in mpm_event authz_core headers allowmethods log_config unixd; do
    grep -q "mod_$name.c" <<<"$builtin" && continue
    [ -f "$modules/mod_$name.so" ] || fail "Apache module mod_$name.so missing from $modules"
    echo "LoadModule ${name}_module $modules/mod_$name.so"
  done
}

case $command in
  check)
    [ ${#positional[@]} -eq 1 ] || usage
    port=${positional[0]}
    find_apache
    check_port
    echo "Apache $apache_bin; port $port free"
    ;;
  start)
    [ ${#positional[@]} -eq 3 ] || usage
    root=${positional[0]} port=${positional[1]} dir=${positional[2]}
    [ -d "$root" ] || fail "no release tree at $root"
    find_apache
    check_port
    mkdir -p "$dir" || fail "cannot create $dir"
    root=$(cd "$root" && pwd) dir=$(cd "$dir" && pwd)
    stop_pid_file "$dir/httpd.pid"
    rm -rf "$dir/run"
    mkdir -p "$dir/run" "$dir/logs"
    rm -f "$dir/logs/access.log" "$dir/logs/error.log"
    site=$(sed -e "s|@LISTEN@|127.0.0.1:$port|" -e "s|@RELEASE_ROOT@|$root|" \
               -e "s|@ACCESS_LOG@|$dir/logs/access.log|" "$here/qvsetup-release.conf.in")
    # Stock behaviour: the same files, without the header that tells caches
    # to ask again.
    [ $stock -eq 1 ] && site=$(grep -v 'Header always set Cache-Control' <<<"$site")
    printf '%s\n' "$site" >"$dir/qvsetup-release.conf"
    user_lines=
    [ "$(id -u)" -eq 0 ] && user_lines=$'User nobody\nGroup '"$(id -gn nobody 2>/dev/null || echo nogroup)"
    cat >"$dir/httpd.conf" <<CONF
# Made by server/apache/serve-release.sh: Apache for one release tree.
ServerRoot "$dir"
$(load_modules)
$user_lines
Listen 127.0.0.1:$port
ServerName 127.0.0.1
PidFile "$dir/httpd.pid"
DefaultRuntimeDir "$dir/run"
ErrorLog "$dir/logs/error.log"
LogLevel notice
ServerTokens Prod
# Nothing outside the release tree.
<Directory />
    AllowOverride None
    Require all denied
</Directory>
Include "$dir/qvsetup-release.conf"
CONF
    apache=("$apache_bin" -d "$dir" -f "$dir/httpd.conf")
    "${apache[@]}" -t >"$dir/logs/check.log" 2>&1 \
      || fail "Apache rejects $dir/httpd.conf: $(grep -m 1 -v '^Syntax OK' "$dir/logs/check.log")"
    if ! "${apache[@]}" -k start >"$dir/logs/start.log" 2>&1; then
      fail "Apache did not start: $(cat "$dir/logs/start.log" | head -n 1)"
    fi
    if ! wait_until_serving "$dir/httpd.pid"; then
      stop_pid_file "$dir/httpd.pid"
      fail "Apache does not answer on 127.0.0.1:$port: $(grep -m 1 -E 'emerg|error' "$dir/logs/error.log")"
    fi
    echo "serving $root at http://127.0.0.1:$port/ (Apache $(cat "$dir/httpd.pid"), configuration $dir/httpd.conf)"
    ;;
  stop)
    [ ${#positional[@]} -eq 1 ] || usage
    stop_pid_file "${positional[0]}/httpd.pid"
    ;;
  *) usage ;;
esac
