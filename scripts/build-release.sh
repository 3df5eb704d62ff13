#!/usr/bin/env bash
# Builds the programs as a vendor ships them: QVSetup.exe, qvcheck.exe and
# the sample product's programs for Windows 95/98/Me and NT 4.0 and later,
# size-optimised and stripped, with the release's update servers (the build
# settings' defaults unless given here), the same bytes from any folder at
# any time, and Authenticode-signed when a code-signing certificate is given
# (scripts/sign-programs.sh: QV_SIGN_CERT and QV_SIGN_KEY, or QV_SIGN_PKCS12
# and QV_SIGN_PASSWORD; QV_SIGN_TIMESTAMP_URL for an RFC 3161 time stamp).
#
#   ./scripts/build-release.sh [--unsigned-releases] [CMAKE-ARGS...]
#       e.g. -DQV_RELEASE_PUBLIC_KEYS=<64 hex digits> -DQV_PRIMARY_UPDATE_HOST=...
#
# A release build must carry the vendor's release public key(s)
# (QV_RELEASE_PUBLIC_KEYS, docs/signing.md): without them the programs
# believe any answer from the network. --unsigned-releases builds without
# keys all the same, for a vendor who knowingly ships unsigned releases.
#
# Output: the unsigned programs in build/release (app/QVSetup.exe,
# tools/qvcheck/qvcheck.exe, server/product/bin/), their import audit and
# QVSetup.exe's size (both read the unsigned files), then the files to ship
# in build/release/ship/, each listed with its size, SHA-256 and whether it
# is signed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
dir=${QV_BUILD_ROOT:-$root/build}/release
unsigned=
if [ "${1:-}" = --unsigned-releases ]; then
  unsigned=1
  shift
fi
keys=
for arg in "$@"; do
  case $arg in -DQV_RELEASE_PUBLIC_KEYS=*|-DQV_RELEASE_PUBLIC_KEYS:STRING=*) keys=${arg#*=} ;; esac
done
if [ -z "$keys" ] && [ -z "$unsigned" ]; then
  cat >&2 <<'MSG'
build-release: no release public key given (-DQV_RELEASE_PUBLIC_KEYS=<64 hex digits>).
A setup program without a release key installs, registers and starts whatever an
unauthenticated HTTP answer names, as administrator. Make the vendor's key as
docs/signing.md says and pass its public half, or pass --unsigned-releases first to
build without signature checks knowingly.
MSG
  exit 2
fi
./scripts/setup.sh >/dev/null
mkdir -p "$dir"
cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686-shipped.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel -DQV_BUILD_TESTS=OFF "$@" >"$dir.configure.log" 2>&1 \
  || { cat "$dir.configure.log"; exit 1; }
cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)" --target QVSetup qvcheck sample_product \
  >"$dir.build.log" 2>&1 || { tail -n 40 "$dir.build.log"; exit 1; }
product=$dir/server/product/bin
programs=("$dir/app/QVSetup.exe" "$dir/tools/qvcheck/qvcheck.exe" "$product/QVUpdate.exe"
          "$product/QVServiceNt.exe" "$product/QVService.exe" "$product/QVCtx.dll")
python3 tests/audit/import_audit.py --objdump i686-w64-mingw32-objdump \
  --allowed tests/audit/allowed-imports.txt --reasons tests/audit/import-reasons.txt \
  --nt-only QVServiceNt.exe "${programs[@]}"
python3 bench/program_size.py --objdump i686-w64-mingw32-objdump "$dir/app/QVSetup.exe"
if [ -n "$keys" ]; then
  echo "release keys built in: $keys"
else
  echo "release keys built in: none (--unsigned-releases): signatures are not checked"
fi
if [ -z "${QV_SIGN_CERT:-}${QV_SIGN_KEY:-}${QV_SIGN_PKCS12:-}" ]; then
  echo "Authenticode: no certificate given (QV_SIGN_CERT and QV_SIGN_KEY, or QV_SIGN_PKCS12): shipped unsigned"
fi
rm -rf "$dir/ship"
echo "shipped files ($dir/ship):"
./scripts/sign-programs.sh "$dir/ship" "${programs[@]}"
