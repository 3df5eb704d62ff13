#!/usr/bin/env bash
# Prints the architecture the Windows test builds target: i686, as shipped,
# where this machine's kernel runs 32-bit programs, x86_64 (run under 64-bit
# Wine) where it does not. QV_WINDOWS_ARCH overrides the choice.
if [ -n "${QV_WINDOWS_ARCH:-}" ]; then
  echo "$QV_WINDOWS_ARCH"
elif /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  echo i686
else
  echo x86_64
fi
