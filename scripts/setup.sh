#!/usr/bin/env bash
# Installs every Debian package the build and the tests need. Idempotent and
# non-interactive: packages already present cost one dpkg query.
set -euo pipefail

packages=(
  cmake make g++ pkg-config python3
  g++-mingw-w64-i686 gcc-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 gcc-mingw-w64-x86-64 mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  libz-mingw-w64-dev zlib1g-dev
  wine wine64 libc6:i386
  googletest
  xvfb xdotool x11-utils imagemagick fonts-nanum
  gcab cabextract
  nlohmann-json3-dev
  libssl-dev
  curl
  locales
  nginx
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  # dpkg-query prints "install ok installed" for a package that is fully set up.
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#packages[@]} packages present"
else
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  echo "setup: packages installed"
fi

# Wine takes the ANSI code page (949) from LANG, but it maps Windows file names
# to Linux ones through the C library's locale: without a generated Korean
# UTF-8 locale a Korean file name cannot be created under Wine.
if ! locale -a 2>/dev/null | grep -qi '^ko_KR\.utf-\?8$'; then
  echo "setup: generating the ko_KR.UTF-8 locale"
  if ! grep -q '^ko_KR.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'ko_KR.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
  fi
  "${sudo_cmd[@]}" locale-gen >/dev/null
fi

# The tests run the Windows programs under Wine. Where the kernel runs 32-bit
# code they are built for i686, as shipped, and run by Wine's i386 loader.
# Some virtual machines refuse 32-bit code altogether ("Exec format error",
# also for a 32-bit code segment in a 64-bit process); there the test build
# targets x86_64 and runs under 64-bit Wine, and the shipped 32-bit programs
# are built and audited but not run (scripts/test.sh, README).
if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  if [ "$(dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null || true)" != "install ok installed" ]; then
    echo "setup: installing wine32:i386"
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null
  fi
else
  echo "setup: this kernel does not run 32-bit programs: the tests run 64-bit builds under 64-bit Wine"
fi

# The shipped programs link only the reading half of zlib, compiled for size
# from zlib's own source (update/CMakeLists.txt): MinGW's prebuilt archive
# brings the gzip reader, speed-unrolled code and 8 KB of CRC tables: 24 KB
# more in QVSetup.exe. The source is the same zlib 1.2.13 as that
# archive, Debian's source tarball, checked against its published SHA-256.
zlib_version=1.2.13
zlib_dir=$(cd "$(dirname "$0")/.." && pwd)/build/downloads
zlib_source=$zlib_dir/zlib-$zlib_version
if [ ! -f "$zlib_source/inflate.c" ]; then
  zlib_archive=zlib_$zlib_version.dfsg.orig.tar.bz2
  zlib_sha256=71feb7947e3c00ef125f83b79a4e529bde31171e5babe48b391f06758d1ab0a1
  echo "setup: fetching the zlib $zlib_version source"
  mkdir -p "$zlib_dir"
  fetched=
  for base in http://deb.debian.org/debian \
              http://snapshot.debian.org/archive/debian/20250520T000000Z; do
    if curl -fsSL --retry 3 -o "$zlib_dir/$zlib_archive.part" "$base/pool/main/z/zlib/$zlib_archive" &&
       echo "$zlib_sha256  $zlib_dir/$zlib_archive.part" | sha256sum -c --quiet -; then
      fetched=1
      break
    fi
  done
  if [ -z "$fetched" ]; then
    rm -f "$zlib_dir/$zlib_archive.part"
    echo "setup: could not fetch $zlib_archive with SHA-256 $zlib_sha256" >&2
    exit 1
  fi
  rm -rf "$zlib_source.part"
  mkdir -p "$zlib_source.part"
  tar -xjf "$zlib_dir/$zlib_archive.part" -C "$zlib_source.part" --strip-components=1 \
    zlib-$zlib_version.dfsg/{LICENSE,README,zlib.h,zconf.h,zutil.h,zutil.c,gzguts.h,adler32.c,crc32.h,crc32.c} \
    zlib-$zlib_version.dfsg/{inflate.h,inflate.c,inftrees.h,inftrees.c,inffast.h,inffast.c,inffixed.h}
  rm -f "$zlib_dir/$zlib_archive.part"
  rm -rf "$zlib_source"
  mv "$zlib_source.part" "$zlib_source"
fi

# The programs check the signatures of a release with Ed25519 from libsodium:
# only its verification half (update/CMakeLists.txt, qv_ed25519), compiled
# from Debian's libsodium 1.0.18 source tarball, checked against the SHA-256
# of Debian's libsodium_1.0.18-1.dsc. Only the files the verifier compiles
# are extracted: signature check, the ref10 curve arithmetic, SHA-512, the
# 32-byte comparison and the memory helpers, with their headers.
sodium_version=1.0.18
sodium_dir=$(cd "$(dirname "$0")/.." && pwd)/build/downloads
sodium_source=$sodium_dir/libsodium-$sodium_version
if [ ! -f "$sodium_source/src/libsodium/crypto_sign/ed25519/ref10/open.c" ]; then
  sodium_archive=libsodium_$sodium_version.orig.tar.gz
  sodium_sha256=d59323c6b712a1519a5daf710b68f5e7fde57040845ffec53850911f10a5d4f4
  echo "setup: fetching the libsodium $sodium_version source"
  mkdir -p "$sodium_dir"
  fetched=
  for base in http://deb.debian.org/debian \
              http://snapshot.debian.org/archive/debian/20250520T000000Z; do
    if curl -fsSL --retry 3 -o "$sodium_dir/$sodium_archive.part" "$base/pool/main/libs/libsodium/$sodium_archive" &&
       echo "$sodium_sha256  $sodium_dir/$sodium_archive.part" | sha256sum -c --quiet -; then
      fetched=1
      break
    fi
  done
  if [ -z "$fetched" ]; then
    rm -f "$sodium_dir/$sodium_archive.part"
    echo "setup: could not fetch $sodium_archive with SHA-256 $sodium_sha256" >&2
    exit 1
  fi
  top=libsodium-$sodium_version
  lib=$top/src/libsodium
  headers=$lib/include/sodium
  rm -rf "$sodium_source.part"
  mkdir -p "$sodium_source.part"
  tar -xzf "$sodium_dir/$sodium_archive.part" -C "$sodium_source.part" --strip-components=1 \
    $top/{LICENSE,AUTHORS} \
    $headers/{export.h,core.h,utils.h,randombytes.h,crypto_hash_sha512.h,crypto_sign_ed25519.h} \
    $headers/{crypto_verify_16.h,crypto_verify_32.h,crypto_verify_64.h} \
    $headers/private/{common.h,ed25519_ref10.h,ed25519_ref10_fe_25_5.h,ed25519_ref10_fe_51.h} \
    $lib/crypto_sign/ed25519/ref10/{open.c,sign.c,sign_ed25519_ref10.h} \
    $lib/crypto_core/ed25519/ref10/ed25519_ref10.c \
    $lib/crypto_core/ed25519/ref10/fe_25_5/{base.h,base2.h,constants.h,fe.h} \
    $lib/crypto_core/ed25519/ref10/fe_51/{base.h,base2.h,constants.h,fe.h} \
    $lib/crypto_hash/sha512/cp/hash_sha512_cp.c \
    $lib/crypto_verify/sodium/verify.c \
    $lib/sodium/utils.c
  rm -f "$sodium_dir/$sodium_archive.part"
  rm -rf "$sodium_source"
  mv "$sodium_source.part" "$sodium_source"
fi
