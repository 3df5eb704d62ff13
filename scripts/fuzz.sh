#!/usr/bin/env bash
# Builds the table-file fuzz target with libFuzzer and AddressSanitizer and
# runs it for a number of seconds on a copy of the committed corpus.
#
#   ./scripts/fuzz.sh [SECONDS]        default 60
#   QV_FUZZ_DIR=dir                    work folder (default: build-fuzz/)
#
# New inputs that reach new code are left in $QV_FUZZ_DIR/corpus; crashes
# go to $QV_FUZZ_DIR/crash-* and make the script exit non-zero. Copy small,
# interesting inputs into fuzz/corpus/table/ to keep them in the replay test.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-60}
work=${QV_FUZZ_DIR:-$root/build-fuzz}

# clang-14 with the compiler-rt fuzzer and sanitizer runtimes, from Debian.
need=()
command -v clang++-14 >/dev/null 2>&1 || need+=(clang-14)
dpkg-query -W -f='${Status}' libclang-rt-14-dev 2>/dev/null | grep -q "install ok installed" || need+=(libclang-rt-14-dev)
if [ ${#need[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  echo "fuzz: installing ${need[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

mkdir -p "$work/obj" "$work/corpus"
flags=(-std=c++17 -O1 -g -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -I "$root")
sources=(update/ByteBuffer.cpp update/Crc32.cpp update/DataCodec.cpp update/Rc4.cpp update/ReadableMemory.cpp
         update/SeedCipher.cpp update/SeedFraming.cpp update/TableFile.cpp update/ZlibBlock.cpp
         sysinfo/TextConvert.cpp fuzz/TableFuzz.cpp)
objects=()
for src in "${sources[@]}"; do
  obj="$work/obj/$(echo "$src" | tr / _).o"
  clang++-14 "${flags[@]}" -c "$src" -o "$obj"
  objects+=("$obj")
done
clang++-14 -fsanitize=fuzzer,address,undefined "${objects[@]}" -lz -o "$work/table_fuzzer"

cp -n fuzz/corpus/table/* "$work/corpus/" 2>/dev/null || true
echo "fuzz: running table_fuzzer for ${seconds}s"
cd "$work"
status=0
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1 \
  ./table_fuzzer -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=1024 -print_final_stats=1 \
  corpus 2>&1 | tee fuzz.log | grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^(stat::|Done|==[0-9]+==ERROR|SUMMARY)' || true
grep -q -E '==[0-9]+==ERROR|^SUMMARY|deadly signal' fuzz.log && status=1
ls crash-* leak-* timeout-* oom-* 2>/dev/null && status=1
echo "fuzz: corpus now $(ls corpus | wc -l) inputs; log in $work/fuzz.log"
[ $status -eq 0 ] && echo "fuzz: no crashes" || echo "fuzz: FOUND PROBLEMS"
exit $status
