#!/usr/bin/env bash
# Load time of one large patch-list-like table file on the host and under
# Wine, the same file for both:
#   bench/table_load.sh [MEGABYTES]     default 32; needs build/host and build/windows
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
megabytes=${1:-32}
host=$root/build/host/bench/table_load
win=$root/build/windows
arch=$("$root/scripts/windows-arch.sh")
[ "$arch" = i686 ] || win=$root/build/windows-$arch
windows=$win/bench/table_load.exe
file=$root/build/bench-table-${megabytes}mb.qvt
[ -f "$file" ] || "$host" make "$file" "$megabytes"
host_line=$("$host" load "$file" 3)
export QV_WINEPREFIX=$win/wineprefix
wine_line=$("$root/cmake/wine-run.sh" "$windows" load "$(winepath -w "$file" 2>/dev/null || echo "Z:${file//\//\\}")" 3 2>/dev/null | tr -d '\r')
echo "host:  $host_line"
echo "wine:  $wine_line"
h=$(echo "$host_line" | sed -E 's/.* ([0-9.]+) ms/\1/')
w=$(echo "$wine_line" | sed -E 's/.* ([0-9.]+) ms/\1/')
awk -v h="$h" -v w="$w" 'BEGIN { printf "Wine / host: %.2f\n", w / h }'
