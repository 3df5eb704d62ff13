#!/usr/bin/env bash
# A real squid on loopback for the proxy tests, started as the user:
#
#   squid_proxy.sh start DIR    configures and starts it; DIR/proxy.state
#                               gets two lines: the port of the plain proxy
#                               and the port of the one that asks for a
#                               sign-in (Basic, user "qvuser", password
#                               "qvsecret"); DIR/access.log is its log
#   squid_proxy.sh stop DIR     stops it
#
# Nothing is cached (the installer's own requests are what is tested), and
# every request may reach any host: only loopback can reach the proxy.
set -euo pipefail
command=$1
dir=$2
squid=${QV_SQUID:-/usr/sbin/squid}
helper=${QV_SQUID_BASIC_AUTH:-/usr/lib/squid/basic_ncsa_auth}

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

case $command in
start)
  [ -f "$dir/squid.pid" ] && kill "$(cat "$dir/squid.pid")" 2>/dev/null || true
  rm -rf "$dir"
  mkdir -p "$dir"
  # Started by root, squid works as its own user: that user writes here.
  chmod 777 "$dir"
  plain=$(free_port)
  signin=$(free_port)
  printf 'qvuser:%s\n' "$(openssl passwd -apr1 qvsecret)" >"$dir/passwords"
  chmod 644 "$dir/passwords"
  cat >"$dir/squid.conf" <<CONF
http_port 127.0.0.1:$plain name=plain
http_port 127.0.0.1:$signin name=signin
auth_param basic program $helper $dir/passwords
auth_param basic realm Korvane test proxy
acl signin myportname signin
acl authenticated proxy_auth REQUIRED
http_access allow !signin
http_access allow signin authenticated
http_access deny all
cache deny all
cache_mem 8 MB
access_log stdio:$dir/access.log
cache_log $dir/cache.log
cache_store_log none
pid_filename $dir/squid.pid
coredump_dir $dir
shutdown_lifetime 0 seconds
CONF
  setsid "$squid" -f "$dir/squid.conf" -N >"$dir/run.log" 2>&1 </dev/null &
  for _ in $(seq 1 100); do
    if python3 -c "import socket,sys; socket.create_connection(('127.0.0.1', int(sys.argv[1])), 1); socket.create_connection(('127.0.0.1', int(sys.argv[2])), 1)" "$plain" "$signin" 2>/dev/null; then
      printf '%s\n%s\n' "$plain" "$signin" >"$dir/proxy.state"
      echo "squid on 127.0.0.1:$plain (plain) and 127.0.0.1:$signin (Basic sign-in)"
      exit 0
    fi
    sleep 0.1
  done
  cat "$dir/run.log" "$dir/cache.log" 2>/dev/null | tail -n 20
  echo "squid did not start" >&2
  exit 1
  ;;
stop)
  if [ -f "$dir/squid.pid" ]; then
    kill "$(cat "$dir/squid.pid")" 2>/dev/null || true
  fi
  pkill -f -- "-f $dir/squid.conf" 2>/dev/null || true
  for _ in $(seq 1 50); do
    pgrep -f -- "-f $dir/squid.conf" >/dev/null || exit 0
    sleep 0.1
  done
  pkill -9 -f -- "-f $dir/squid.conf" 2>/dev/null || true
  exit 0
  ;;
*)
  echo "usage: $0 start|stop DIR" >&2
  exit 2
  ;;
esac
