#!/usr/bin/env bash
# Installs a channel of 200 files (50 MB in all, half of them in cabinets) with
# qvcheck under Wine, and fetches the same files with curl from the same
# loopback server, once each; prints both times.
#
#   bench/install_channel.sh [BUILD_ROOT]     (default: ./build, after scripts/test.sh)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
qvpublish=$build/host/tools/qvpublish/qvpublish
qvcheck=$build/windows/tools/qvcheck/qvcheck.exe
export QV_WINEPREFIX=$build/windows/wineprefix
for f in "$qvpublish" "$qvcheck"; do [ -x "$f" ] || { echo "missing $f: run scripts/test.sh first" >&2; exit 2; }; done

work=$(mktemp -d /tmp/qv-bench-XXXXXX)
trap 'python3 "$root/tests/server/qv_http_server.py" stop --state "$work/server.state" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
mkdir -p "$work/src" "$work/root" "$work/base"

# 200 files of 262,144 bytes of incompressible data: 50 MiB.
python3 - "$work" <<'PY'
import json, os, sys
work = sys.argv[1]
files = []
for i in range(200):
    name = "file%03d.bin" % i
    with open(os.path.join(work, "src", name), "wb") as f:
        f.write(os.urandom(262144))
    files.append({"source": name, "targetFolder": "", "restartKind": "", "releaseStamp": "1",
                  "registerFlag": 0, "package": "cab" if i % 2 else "plain"})
with open(os.path.join(work, "src", "channel.json"), "w") as f:
    json.dump({"channel": "bench", "basePath": "/bench", "files": files}, f)
PY
"$qvpublish" channel "$work/src/channel.json" "$work/root/bench" >/dev/null
python3 "$root/tests/server/qv_http_server.py" start --root "$work/root" --state "$work/server.state"
port=$(head -n 1 "$work/server.state")
WINEPREFIX=$QV_WINEPREFIX "$root/cmake/wine-prefix.sh" init >/dev/null

start=$(date +%s.%N)
"$root/cmake/wine-run.sh" "$qvcheck" install 127.0.0.1 /bench "$port" "Z:${work//\//\\}\\base" | tail -n 1
end=$(date +%s.%N)
placed=$(ls "$work/base" | grep -c '^file')
echo "qvcheck install: $(echo "$end - $start" | bc) s, $placed files placed"

start=$(date +%s.%N)
curl -s -o /dev/null "http://127.0.0.1:$port/bench/QVPatch.dat"
for f in "$work/root/bench"/file*; do
  curl -s -o /dev/null "http://127.0.0.1:$port/bench/$(basename "$f")"
done
end=$(date +%s.%N)
echo "curl, same files one by one: $(echo "$end - $start" | bc) s"
