#!/usr/bin/env bash
# Sets up the machine, builds both configurations and runs every test.
#
#   ./scripts/test.sh            everything
#   QV_BUILD_ROOT=dir            build folders (default: ./build)
#
# Prints one line of totals per test set and exits non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build_root=${QV_BUILD_ROOT:-$root/build}
jobs=$(nproc 2>/dev/null || echo 2)

./scripts/setup.sh || exit 1

declare -a summary=()
status=0

# configure_and_build NAME [cmake args...]
configure_and_build() {
  local name=$1
  shift
  local dir=$build_root/$name
  echo "== build $name"
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >"$dir.configure.log" 2>&1 \
    || { mkdir -p "$dir"; cat "$dir.configure.log"; echo "configure $name failed"; return 1; }
  cmake --build "$dir" -j "$jobs" >"$dir.build.log" 2>&1 \
    || { tail -n 60 "$dir.build.log"; echo "build $name failed"; return 1; }
}

# run_tests NAME: runs the CTest set of build NAME and records its totals.
run_tests() {
  local name=$1
  local dir=$build_root/$name
  echo "== test $name"
  local log=$dir/ctest.log
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 600) >"$log" 2>&1
  local rc=$?
  grep -E '^[0-9]+% tests passed|tests failed|The following tests|^\s+[0-9]+ - ' "$log" || true
  [ $rc -eq 0 ] || { sed -n '/Output from these tests/,$p;/\*\*\*Failed/p' "$log" | tail -n 200; }
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  # Each executable holds many cases: count the GoogleTest cases too.
  local cases
  cases=$(grep -hE '^\[  PASSED  \] [0-9]+ test' "$dir"/Testing/Temporary/LastTest.log 2>/dev/null \
          | awk '{s+=$4} END {print s+0}')
  summary+=("$name: ${line:-no result} ($cases test cases passed)")
  [ $rc -eq 0 ] || status=1
}

mkdir -p "$build_root"
if configure_and_build host; then run_tests host; else status=1; summary+=("host: build failed"); fi
if configure_and_build host-asan -DQV_SANITIZE=ON; then
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_tests host-asan
else status=1; summary+=("host-asan: build failed"); fi
# The Windows build's end-to-end tests publish with the host build's qvpublish,
# and the test build's update servers are on loopback, at a port of their own
# (QV_TEST_PORT, default 18731) where the wizard's test server listens. It
# targets i686, as shipped, or x86_64 where this machine runs no 32-bit code
# (scripts/windows-arch.sh); the shipped i686 programs are audited either way.
# Its side build of the shipped programs (which the window, end-to-end and
# audit tests run) trusts the sample release key, which signs the sample
# release; its own test programs trust none, as a build without keys.
arch=$("$root/scripts/windows-arch.sh")
windows=windows
[ "$arch" = i686 ] || windows=windows-$arch
echo "== Windows tests for $arch"
# No debug information in the Windows test build: with it its statically
# linked test programs and objects take about 800 MB, without it 230 MB.
if configure_and_build $windows -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
     -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" \
     -DQV_QVPUBLISH="$build_root/host/tools/qvpublish/qvpublish" \
     -DQV_PRIMARY_UPDATE_HOST=127.0.0.1 -DQV_SECONDARY_UPDATE_HOST=127.0.0.1 \
     -DQV_CONFIG_SERVER_PORT="${QV_TEST_PORT:-18731}" \
     -DQV_RELEASE_PUBLIC_KEYS= -DQV_SHIPPED_RELEASE_PUBLIC_KEYS="$(cat "$root/server/sample-release-key.SAMPLE-ONLY.pub")"; then
  run_tests $windows
else status=1; summary+=("$windows: build failed"); fi

# Last, the demo: the real QVSetup.exe under Wine against the sample release
# served by nginx (scripts/demo.sh, its own build and prefix under build/).
echo "== demo"
"$root/scripts/demo.sh" >"$build_root/demo.log" 2>&1
demo_rc=$?
demo_line=$(grep -E '^demo: (passed|FAILED)' "$build_root/demo.log" | tail -n 1)
[ $demo_rc -eq 0 ] || { tail -n 80 "$build_root/demo.log"; status=1; }
summary+=("${demo_line:-demo: FAILED (no result line; see $build_root/demo.log)}")

echo "== totals"
printf '%s\n' "${summary[@]}"
if [ $status -eq 0 ]; then echo "ALL TESTS PASSED"; else echo "SOME TESTS FAILED"; fi
exit $status
