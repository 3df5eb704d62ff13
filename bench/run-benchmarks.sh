#!/usr/bin/env bash
# Every benchmark of the project, each side by side with its floor, in
# interleaved rounds (A B A B ...), printing the minimum and median of each
# side and their ratios, and the peak memory of the installs:
#
#   install of a 200-file, 50 MiB channel (half cabinets) by qvcheck under Wine
#       against wininet_fetch, a minimal WinINet program fetching the same
#       files with 4,096-byte reads, and against client_fetch, the project's
#       HTTP client alone fetching them (what of the install is the client's)
#   install of a 1,000-file channel of small files, the same way
#   a check of a 5,000-record list (peak memory)
#   table-file load (20,000 rows) against a raw read, CRC and inflate of the
#       same rows (host), and a 32 MB list under Wine against the host
#   MD5 of 100 MiB against md5sum (host)
#   the release-signature check of a 1 MiB list (host and Wine), beside an
#       MD5 of the same bytes
#
#   bench/run-benchmarks.sh [ROUNDS]      default 5; needs scripts/test.sh's builds
#   QV_BENCH_BUILD=dir                     another build root (default: ./build)
# Not a test: nothing fails on a figure. See README, "Benchmarks".
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-5}
build=${QV_BENCH_BUILD:-$root/build}
host=$build/host
# The Windows test build of this machine: i686, or x86_64 where no 32-bit
# code runs (scripts/windows-arch.sh); both sides of a ratio run the same.
arch=$("$root/scripts/windows-arch.sh")
win=$build/windows
[ "$arch" = i686 ] || win=$build/windows-$arch
qvpublish=$host/tools/qvpublish/qvpublish
qvcheck=$win/shipped/tools/qvcheck/qvcheck.exe
export QV_WINEPREFIX=$win/wineprefix

# Build what is missing (the builds themselves come from scripts/test.sh).
for d in "$host" "$win"; do [ -f "$d/CMakeCache.txt" ] || { echo "run scripts/test.sh first ($d)"; exit 2; }; done
cmake --build "$host" --target qvpublish table_load md5_file signature_verify >/dev/null || exit 2
cmake --build "$win" --target shipped table_load wininet_fetch client_fetch signature_verify >/dev/null || exit 2

work=$(mktemp -d /tmp/qv-bench-XXXXXX)
trap 'python3 "$root/tests/server/qv_http_server.py" stop --state "$work/server.state" >/dev/null 2>&1; rm -rf "$work"' EXIT
winpath() { echo "Z:${1//\//\\}"; }
now() { date +%s.%N; }

# stats NAME VALUES...: prints minimum and median.
stats() {
  local name=$1
  shift
  printf '%s\n' "$@" | sort -g | awk -v n="$name" '{v[NR]=$1} END {
    m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2;
    printf "  %-34s min %9.3f  median %9.3f  (%d runs)\n", n, v[1], m, NR }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
minimum() { printf '%s\n' "$@" | sort -g | head -n 1; }
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR]=$1} END { print (NR % 2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2 }'; }

# make_channel NAME COUNT BYTES: a channel of COUNT files of BYTES random bytes, half in cabinets.
make_channel() {
  python3 - "$work" "$1" "$2" "$3" <<'PY'
import json, os, sys
work, name, count, size = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
src = os.path.join(work, "src-" + name)
os.makedirs(src)
files = []
for i in range(count):
    f = "file%04d.bin" % i
    with open(os.path.join(src, f), "wb") as out:
        out.write(os.urandom(size))
    files.append({"source": f, "targetFolder": "", "restartKind": "", "releaseStamp": "1",
                  "registerFlag": 0, "package": "cab" if i % 2 else "plain"})
with open(os.path.join(src, "channel.json"), "w") as out:
    json.dump({"channel": name, "basePath": "/" + name, "files": files}, out)
PY
  "$qvpublish" channel "$work/src-$1/channel.json" "$work/root/$1" >/dev/null
  # What the floor fetches: the list and every package.
  (echo "/$1/QVPatch.dat"; cd "$work/root/$1" && ls | grep -v QVPatch.dat | sed "s|^|/$1/|") > "$work/$1.list"
}

mkdir -p "$work/root"
echo "preparing channels..."
make_channel bench200 200 262144
make_channel bench1000 1000 4096
python3 "$root/tests/server/qv_http_server.py" start --root "$work/root" --state "$work/server.state" >/dev/null
port=$(head -n 1 "$work/server.state")
"$root/cmake/wine-prefix.sh" init >/dev/null 2>&1

# One install by qvcheck into a fresh folder; prints seconds, then peak KB.
run_install() {
  local name=$1 base=$work/base-$name
  rm -rf "$base"; mkdir -p "$base"
  local t0 t1
  t0=$(now)
  /usr/bin/time -f "%M" -o "$work/mem" "$root/cmake/wine-run.sh" "$qvcheck" install 127.0.0.1 "/$name" "$port" \
    "$(winpath "$base")" >"$work/out" 2>/dev/null
  t1=$(now)
  tr -d "\r" < "$work/out" | grep -qx "result 0x0" || { echo "install of $name failed: $(tail -n 1 "$work/out")" >&2; }
  echo "$(echo "$t1 - $t0" | bc) $(cat "$work/mem")"
}
# run_fetcher PROGRAM NAME: one fetch of the channel's files by a bench program; prints seconds.
run_fetcher() {
  local program=$1 name=$2 out=$work/fetched-$2
  rm -rf "$out"; mkdir -p "$out"
  local t0 t1
  t0=$(now)
  "$root/cmake/wine-run.sh" "$win/bench/$program.exe" 127.0.0.1 "$port" "$(winpath "$work/$name.list")" \
    "$(winpath "$out")" >/dev/null 2>&1
  t1=$(now)
  echo "$t1 - $t0" | bc
}

for name in bench200 bench1000; do
  engine=(); client=(); floor=(); peak=0
  for r in $(seq 1 "$rounds"); do
    read -r t m < <(run_install "$name")
    engine+=("$t"); [ "$m" -gt "$peak" ] && peak=$m
    client+=("$(run_fetcher client_fetch "$name")")
    floor+=("$(run_fetcher wininet_fetch "$name")")
  done
  echo "install $name ($(wc -l < "$work/$name.list") requests):"
  stats "qvcheck install (s)" "${engine[@]}"
  stats "client_fetch, client alone (s)" "${client[@]}"
  stats "wininet_fetch floor (s)" "${floor[@]}"
  echo "  ratio install / floor: min $(ratio "$(minimum "${engine[@]}")" "$(minimum "${floor[@]}")"), median $(ratio "$(median "${engine[@]}")" "$(median "${floor[@]}")"); peak memory of the install $peak KB"
  echo "  ratio client / floor:  min $(ratio "$(minimum "${client[@]}")" "$(minimum "${floor[@]}")"), median $(ratio "$(median "${client[@]}")" "$(median "${floor[@]}")")"
  echo "  ratio install / client: min $(ratio "$(minimum "${engine[@]}")" "$(minimum "${client[@]}")"), median $(ratio "$(median "${engine[@]}")" "$(median "${client[@]}")")"
done

# A check of a 5,000-record list: its peak memory.
make_channel check5000 5000 16
base=$work/base-check5000; mkdir -p "$base"
/usr/bin/time -f "%M" -o "$work/mem" "$root/cmake/wine-run.sh" "$qvcheck" check 127.0.0.1 /check5000 "$port" \
  "$(winpath "$base")" >/dev/null 2>&1
echo "check of a 5,000-record list: peak memory $(cat "$work/mem") KB"

# Table-file load against the raw floor (host), and a 32 MB list under Wine against the host.
"$host/bench/table_load" make "$work/t20k.qvt" 3 0 >/dev/null
load=(); raw=()
for r in $(seq 1 "$rounds"); do
  load+=("$("$host/bench/table_load" load "$work/t20k.qvt" 1 | sed -E 's/.* ([0-9.]+) ms/\1/')")
  raw+=("$("$host/bench/table_load" raw "$work/t20k.qvt" 1 | sed -E 's/.* ([0-9.]+) ms/\1/')")
done
echo "table-file load, $("$host/bench/table_load" load "$work/t20k.qvt" 1 | awk '{print $2}') rows (host):"
stats "CTableFile load (ms)" "${load[@]}"
stats "raw read, CRC, inflate (ms)" "${raw[@]}"
echo "  ratio: min $(ratio "$(minimum "${load[@]}")" "$(minimum "${raw[@]}")"), median $(ratio "$(median "${load[@]}")" "$(median "${raw[@]}")")"
"$host/bench/table_load" make "$work/t32m.qvt" 32 2 >/dev/null
hostload=(); wineload=()
for r in $(seq 1 "$rounds"); do
  hostload+=("$("$host/bench/table_load" load "$work/t32m.qvt" 1 | sed -E 's/.* ([0-9.]+) ms/\1/')")
  wineload+=("$("$root/cmake/wine-run.sh" "$win/bench/table_load.exe" load "$(winpath "$work/t32m.qvt")" 1 2>/dev/null | tr -d '\r' | sed -E 's/.* ([0-9.]+) ms/\1/')")
done
echo "32 MB list load:"
stats "host (ms)" "${hostload[@]}"
stats "Wine (ms)" "${wineload[@]}"
echo "  ratio Wine / host: min $(ratio "$(minimum "${wineload[@]}")" "$(minimum "${hostload[@]}")")"

# MD5 of 100 MiB against md5sum (host).
head -c 104857600 /dev/urandom > "$work/100m.bin"
ours=(); theirs=()
for r in $(seq 1 "$rounds"); do
  t0=$(now); "$host/bench/md5_file" "$work/100m.bin" >/dev/null; t1=$(now); ours+=("$(echo "$t1 - $t0" | bc)")
  t0=$(now); md5sum "$work/100m.bin" >/dev/null; t1=$(now); theirs+=("$(echo "$t1 - $t0" | bc)")
done
echo "MD5 of 100 MiB (host):"
stats "Md5File (s)" "${ours[@]}"
stats "md5sum (s)" "${theirs[@]}"
echo "  ratio: min $(ratio "$(minimum "${ours[@]}")" "$(minimum "${theirs[@]}")"), median $(ratio "$(median "${ours[@]}")" "$(median "${theirs[@]}")")"

# The signature check of a 1 MiB list, signed with the sample key (host and Wine).
head -c 1048576 /dev/urandom > "$work/list1m.dat"
"$qvpublish" sign --key "$root/server/sample-release-key.SAMPLE-ONLY.pem" --channel program --serial 1 "$work/list1m.dat"
sample_key=$(cat "$root/server/sample-release-key.SAMPLE-ONLY.pub")
hostcheck=(); winecheck=(); hostmd5=(); winemd5=()
for r in $(seq 1 "$rounds"); do
  line=$("$host/bench/signature_verify" "$work/list1m.dat" "$sample_key" 20)
  hostcheck+=("$(echo "$line" | sed -E 's/.* ([0-9.]+) ms;.*/\1/')"); hostmd5+=("$(echo "$line" | sed -E 's/.*md5 ([0-9.]+) ms/\1/')")
  line=$("$root/cmake/wine-run.sh" "$win/bench/signature_verify.exe" "$(winpath "$work/list1m.dat")" "$sample_key" 20 2>/dev/null | tr -d '\r')
  winecheck+=("$(echo "$line" | sed -E 's/.* ([0-9.]+) ms;.*/\1/')"); winemd5+=("$(echo "$line" | sed -E 's/.*md5 ([0-9.]+) ms/\1/')")
done
echo "release-signature check of a 1 MiB list (best of 20 per run):"
stats "host check (ms)" "${hostcheck[@]}"
stats "host MD5 of the list (ms)" "${hostmd5[@]}"
stats "Wine check (ms)" "${winecheck[@]}"
stats "Wine MD5 of the list (ms)" "${winemd5[@]}"
