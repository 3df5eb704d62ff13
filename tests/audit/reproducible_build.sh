#!/usr/bin/env bash
# Two clean builds of QVSetup.exe give the same bytes: each configures and
# builds the shipped toolchain's QVSetup target in a folder of its own (of
# different names and depths), one after the other (so at different times).
# Both must equal each other and, when given, the side build the window and
# end-to-end tests run; neither may carry the name of its build folder or of
# the source folder.
#
#   reproducible_build.sh WORKDIR [--compare PROGRAM] -- CMAKE-ARGS...
set -uo pipefail
work=$1
shift
compare=
if [ "${1:-}" = --compare ]; then
  compare=$2
  shift 2
fi
[ "${1:-}" = -- ] && shift
source=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$work"
mkdir -p "$work"
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

builds=("$work/first" "$work/second/build-of-the-same-commit")
for dir in "${builds[@]}"; do
  mkdir -p "$dir"
  cmake -S "$source" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-i686-shipped.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DQV_BUILD_TESTS=OFF "$@" >"$dir.log" 2>&1 \
    && cmake --build "$dir" --target QVSetup -j 2 >>"$dir.log" 2>&1 \
    || { tail -n 30 "$dir.log"; echo "FAIL the build in $dir failed"; exit 1; }
  program=$dir/app/QVSetup.exe
  echo "$(sha256sum "$program" | cut -d' ' -f1)  $(stat -c %s "$program") bytes  $program"
  for path in "$dir" "$source" "$work"; do
    if strings -a "$program" | grep -qF "$path"; then
      fail "$program names the folder $path"
    fi
  done
done

cmp "${builds[0]}/app/QVSetup.exe" "${builds[1]}/app/QVSetup.exe" || fail "the two clean builds differ"
if [ -n "$compare" ]; then
  echo "$(sha256sum "$compare" | cut -d' ' -f1)  $(stat -c %s "$compare") bytes  $compare"
  cmp "${builds[0]}/app/QVSetup.exe" "$compare" || fail "the clean builds differ from $compare"
fi
if [ $failures -eq 0 ]; then
  rm -rf "$work"
  echo "reproducible: the builds of QVSetup.exe are byte for byte the same"
  exit 0
fi
exit 1
