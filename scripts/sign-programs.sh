#!/usr/bin/env bash
# Authenticode signatures on the shipped programs, with osslsigncode.
#
#   scripts/sign-programs.sh OUTDIR PROGRAM...
#
# Writes each PROGRAM to OUTDIR under its own name: signed when a code-signing
# certificate is given in the environment, an unchanged copy otherwise. Then
# prints each file of OUTDIR written here with its size, SHA-256 and whether
# it carries a signature.
#
#   QV_SIGN_CERT, QV_SIGN_KEY   certificate (chain) and private key, PEM files
#   QV_SIGN_PKCS12              or both in one PKCS#12 file
#   QV_SIGN_PASSWORD            the key's or PKCS#12 file's password, if any
#   QV_SIGN_TIMESTAMP_URL       an RFC 3161 time-stamp server (none: no time
#                               stamp; the signature then expires with the
#                               certificate)
#   QV_SIGN_DESCRIPTION         the signed program's description
#                               (default "Korvane Free")
#   QV_OBJDUMP                  objdump that reads PE files
#                               (default i686-w64-mingw32-objdump)
#
# Each program gets two signatures: SHA-1 first, the one Windows 2000, XP and
# Vista read (they check the first signature only, and the older ones know no
# SHA-256), and a SHA-256 one nested in it, which Windows 7 and later and
# SmartScreen take. Keys and certificates never belong in the repository.
# Exit status: 0 when every program was written (and signed, when asked), 2
# when the settings are incomplete, 1 when a copy or signature failed.
set -euo pipefail
if [ $# -lt 2 ]; then
  echo "usage: $0 OUTDIR PROGRAM..." >&2
  exit 2
fi
out=$1
shift
objdump=${QV_OBJDUMP:-i686-w64-mingw32-objdump}
description=${QV_SIGN_DESCRIPTION:-Korvane Free}

credentials=()
if [ -n "${QV_SIGN_PKCS12:-}" ]; then
  credentials=(-pkcs12 "$QV_SIGN_PKCS12")
elif [ -n "${QV_SIGN_CERT:-}" ] || [ -n "${QV_SIGN_KEY:-}" ]; then
  if [ -z "${QV_SIGN_CERT:-}" ] || [ -z "${QV_SIGN_KEY:-}" ]; then
    echo "sign-programs: QV_SIGN_CERT and QV_SIGN_KEY go together" >&2
    exit 2
  fi
  credentials=(-certs "$QV_SIGN_CERT" -key "$QV_SIGN_KEY")
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ ${#credentials[@]} -gt 0 ]; then
  command -v osslsigncode >/dev/null || { echo "sign-programs: osslsigncode is not installed" >&2; exit 2; }
  if [ -n "${QV_SIGN_PASSWORD:-}" ]; then
    # From a file of the caller's own, not the command line others can read.
    (umask 077; printf '%s' "$QV_SIGN_PASSWORD" >"$work/password")
    credentials+=(-readpass "$work/password")
  fi
  if [ -n "${QV_SIGN_TIMESTAMP_URL:-}" ]; then
    credentials+=(-ts "$QV_SIGN_TIMESTAMP_URL")
  fi
fi

mkdir -p "$out"
written=()
for program in "$@"; do
  target=$out/$(basename "$program")
  if [ ${#credentials[@]} -eq 0 ]; then
    cp "$program" "$target"
  else
    rm -f "$target" "$work/sha1"
    osslsigncode sign "${credentials[@]}" -h sha1 -n "$description" -in "$program" -out "$work/sha1" \
      >"$work/log" 2>&1 || { cat "$work/log" >&2; echo "sign-programs: $program: SHA-1 signature failed" >&2; exit 1; }
    osslsigncode sign "${credentials[@]}" -nest -h sha256 -n "$description" -in "$work/sha1" -out "$target" \
      >"$work/log" 2>&1 || { cat "$work/log" >&2; echo "sign-programs: $program: SHA-256 signature failed" >&2; exit 1; }
  fi
  written+=("$target")
done

# A signature lives in the PE file's certificate table (data directory entry
# 4, "Security Directory"): an entry of size zero means none.
for file in "${written[@]}"; do
  table=$("$objdump" -p "$file" | awk '/^Entry 4 / { print $4 }')
  if [ -n "$table" ] && [ "$((16#$table))" -gt 0 ]; then signed=signed; else signed=unsigned; fi
  printf '%-16s %8d bytes  sha256 %s  %s\n' "$(basename "$file")" "$(stat -c %s "$file")" \
    "$(sha256sum "$file" | cut -d' ' -f1)" "$signed"
done
