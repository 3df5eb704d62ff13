#!/usr/bin/env bash
# Installs from a host list with one dead host: how long each takes, and that
# each succeeds. The sample release is published with the host list
# "<dead>;127.0.0.1" for every server entry and served on loopback; each run is
# a fresh `qvcheck install` of the program channel (the engine's own steps:
# configuration, list, packages, placement) into an empty folder, and each run
# draws its first host anew.
#
#   dead_host_installs.sh BUILD [REFUSING-RUNS [HANGING-RUNS]]
#
# BUILD is the Windows test build (its shipped qvcheck, and QV_QVPUBLISH from
# its cache). The refusing host is 127.0.0.2 (nothing listens there); the
# hanging one, 127.0.0.3, accepts connections and never answers (its receive
# time-out is qvcheck's default).
set -euo pipefail
build=$(cd "$1" && pwd)
refusing=${2:-20}
hanging=${3:-4}
root=$(cd "$(dirname "$0")/.." && pwd)
qvpublish=$(sed -n 's/^QV_QVPUBLISH:FILEPATH=//p' "$build/CMakeCache.txt")
qvcheck=$build/shipped/tools/qvcheck/qvcheck.exe
product=$build/shipped/server/product/bin
work=$build/bench-dead-host
rm -rf "$work"
mkdir -p "$work"
export QV_WINEPREFIX=$work/wineprefix
path=/TKAS/AccessFile/Update5/Personal/KorvaneFree

server_state=$work/server.state
python3 "$root/tests/server/qv_http_server.py" start --root "$work/docroot" --state "$server_state" >/dev/null
port=$(head -n 1 "$server_state")
python3 -c '
import socket, sys, time
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.3", int(sys.argv[1])))
s.listen(64)
time.sleep(3600)
' "$port" &
silent_pid=$!
cleanup() {
  python3 "$root/tests/server/qv_http_server.py" stop --state "$server_state" >/dev/null 2>&1 || true
  kill "$silent_pid" 2>/dev/null || true
}
trap cleanup EXIT

# run_installs DEAD COUNT: COUNT installs from "DEAD;127.0.0.1".
run_installs() {
  local dead=$1 count=$2 ok=0 times=()
  sh "$root/server/make-sample-release.sh" "$qvpublish" "$product" "$work/docroot" "$dead;127.0.0.1" "$port" >/dev/null
  for run in $(seq 1 "$count"); do
    local folder=$work/install-$run
    rm -rf "$folder"
    local start end
    start=$(date +%s%N)
    if "$root/cmake/wine-run.sh" "$qvcheck" install "$dead;127.0.0.1" "$path/Program" "$port" \
         "Z:${folder//\//\\}" >"$work/run.log" 2>&1 && grep -q '^result 0x0' "$work/run.log"; then
      ok=$((ok + 1))
    else
      tail -n 3 "$work/run.log"
    fi
    end=$(date +%s%N)
    times+=("$(( (end - start) / 1000000 ))")
  done
  echo "$dead dead: $ok of $count installs succeeded; ms each: ${times[*]}"
}
run_installs 127.0.0.2 "$refusing"
run_installs 127.0.0.3 "$hanging"
