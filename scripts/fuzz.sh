#!/usr/bin/env bash
# Builds fuzz targets with libFuzzer and AddressSanitizer and runs each for a
# number of seconds on a copy of its committed corpus.
#
#   ./scripts/fuzz.sh [SECONDS [TARGET...]]   default 60 s, every target
#   QV_FUZZ_DIR=dir                           work folder (default: build-fuzz/)
#
# Targets: see fuzz_sources below (TARGET is the name before "_fuzzer"). New
# inputs that reach new code are left in $QV_FUZZ_DIR/NAME/corpus; crashes go
# to $QV_FUZZ_DIR/NAME/crash-* and make the script exit non-zero. Copy small,
# interesting inputs into fuzz/corpus/NAME/ to keep them in the replay tests.
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

flags=(-std=c++17 -O1 -g -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -I "$root")
# The Ed25519 verifier (the signature target), configured as core/CMakeLists.txt does.
ed25519=${QV_ED25519_SOURCE_DIR:-$root/build/downloads/signify-openbsd-31}
cflags=(-O1 -g -w -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -I "$ed25519"
        -include "$ed25519/compat.h" -DVERIFYONLY -DSHA2_SMALL -DLITTLE_ENDIAN=1234 -DBIG_ENDIAN=4321 -DBYTE_ORDER=1234
        -DHAVE_EXPLICIT_BZERO)
ed25519_sources="$ed25519/fe25519.c $ed25519/sc25519.c $ed25519/mod_ge25519.c $ed25519/mod_ed25519.c
  $ed25519/sha2.c $ed25519/crypto_api.c $ed25519/timingsafe_bcmp.c"
# The portable core every target links, then each target's own sources.
core=(core/ByteBuffer.cpp core/Crc32.cpp core/DataCodec.cpp core/Rc4.cpp core/ReadableMemory.cpp
      core/SeedCipher.cpp core/SeedFraming.cpp core/TableFile.cpp core/ZlibBlock.cpp
      core/TextConvert.cpp)
declare -A fuzz_sources=(
  [table]="fuzz/TableFuzz.cpp"
  [names]="fuzz/NameFuzz.cpp core/NameCheck.cpp"
  [patchlist]="fuzz/PatchListFuzz.cpp core/PatchListReader.cpp core/NameCheck.cpp core/StringUtil.cpp"
  [signature]="fuzz/SignatureFuzz.cpp core/ReleaseSignature.cpp core/ReleaseSignatureWriter.cpp core/Ed25519Verify.cpp $ed25519_sources"
)
targets=("${@:2}")
[ ${#targets[@]} -gt 0 ] || targets=("${!fuzz_sources[@]}")

mkdir -p "$work/obj"
compile() { # SOURCE (relative to the checkout, or absolute) -> object path on stdout
  local source=$1
  [ "${source#/}" != "$source" ] || source=$root/$1
  local obj="$work/obj/$(echo "${source#$root/}" | tr / _).o"
  if [ ! "$obj" -nt "$source" ]; then
    case $source in
      *.c) clang-14 "${cflags[@]}" -c "$source" -o "$obj" ;;
      *) clang++-14 "${flags[@]}" -I "$ed25519" -c "$source" -o "$obj" ;;
    esac
  fi
  echo "$obj"
}
core_objects=()
for src in "${core[@]}"; do core_objects+=("$(compile "$src")"); done

status=0
for name in "${targets[@]}"; do
  [ -n "${fuzz_sources[$name]:-}" ] || { echo "fuzz: no target $name"; exit 2; }
  objects=("${core_objects[@]}")
  for src in ${fuzz_sources[$name]}; do objects+=("$(compile "$src")"); done
  dir="$work/$name"
  mkdir -p "$dir/corpus"
  clang++-14 -fsanitize=fuzzer,address,undefined "${objects[@]}" -lz -o "$dir/${name}_fuzzer"
  cp -n fuzz/corpus/"$name"/* "$dir/corpus/" 2>/dev/null || true
  echo "fuzz: running ${name}_fuzzer for ${seconds}s"
  (cd "$dir" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1 \
    "./${name}_fuzzer" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=1024 -print_final_stats=1 \
    corpus 2>&1 | tee fuzz.log | grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^(stat::|Done|==[0-9]+==ERROR|SUMMARY)' || true)
  grep -q -E '==[0-9]+==ERROR|^SUMMARY|deadly signal' "$dir/fuzz.log" && status=1
  ls "$dir"/crash-* "$dir"/leak-* "$dir"/timeout-* "$dir"/oom-* 2>/dev/null && status=1
  echo "fuzz: $name corpus now $(ls "$dir/corpus" | wc -l) inputs; log in $dir/fuzz.log"
done
[ $status -eq 0 ] && echo "fuzz: no crashes" || echo "fuzz: FOUND PROBLEMS"
exit $status
