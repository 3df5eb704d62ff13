#!/usr/bin/env bash
# Builds the programs as a vendor ships them: QVSetup.exe (and qvcheck.exe)
# for Windows XP and later, size-optimised and stripped, with the release's
# update servers (the build settings' defaults unless given here).
#
#   ./scripts/build-release.sh [CMAKE-ARGS...]     e.g. -DQV_PRIMARY_UPDATE_HOST=...
#
# Output: build/release/app/QVSetup.exe, then its import audit and size.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
dir=${QV_BUILD_ROOT:-$root/build}/release
./scripts/setup.sh >/dev/null
mkdir -p "$dir"
cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686-shipped.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel -DQV_BUILD_TESTS=OFF "$@" >"$dir.configure.log" 2>&1 \
  || { cat "$dir.configure.log"; exit 1; }
cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)" --target QVSetup qvcheck >"$dir.build.log" 2>&1 \
  || { tail -n 40 "$dir.build.log"; exit 1; }
python3 tests/audit/import_audit.py --objdump i686-w64-mingw32-objdump \
  --allowed tests/audit/allowed-imports.txt "$dir/app/QVSetup.exe" "$dir/tools/qvcheck/qvcheck.exe"
python3 bench/program_size.py --objdump i686-w64-mingw32-objdump "$dir/app/QVSetup.exe"
echo "release program: $dir/app/QVSetup.exe"
