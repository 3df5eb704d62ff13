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
  openssl osslsigncode
  curl
  locales
  # The reference server configurations (server/) and their test.
  nginx apache2 lighttpd
  # The proxy the wizard's end-to-end test installs through.
  squid
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

# The programs check the signatures of a release with Ed25519 verification
# compiled from the sources Debian's signify-openbsd 31 package ships (the
# public-domain reference Ed25519 of OpenBSD's signify, which OpenSSH uses for
# its ed25519 keys too, and OpenBSD's SHA-2 with its compact transform):
# about 11 KB in QVSetup.exe where libsodium's faster verifier took 34 KB
# (core/CMakeLists.txt, qv_core). The orig tarball is checked against the
# SHA-256 in Debian's signify-openbsd_31-3.dsc; only the verifier's files
# and the licence are extracted.
ed25519_version=31
ed25519_dir=$(cd "$(dirname "$0")/.." && pwd)/build/downloads
ed25519_source=$ed25519_dir/signify-openbsd-$ed25519_version
if [ ! -f "$ed25519_source/compat.h" ]; then
  ed25519_archive=signify-openbsd_$ed25519_version.orig.tar.gz
  ed25519_sha256=8111af7424f4cc69dab5cd43a14ccd607ca2d171ac77dd3ae288264a53254e5f
  echo "setup: fetching the signify-openbsd $ed25519_version source (Ed25519 verification)"
  mkdir -p "$ed25519_dir"
  fetched=
  for base in http://deb.debian.org/debian \
              http://snapshot.debian.org/archive/debian/20250520T000000Z; do
    if curl -fsSL --retry 3 -o "$ed25519_dir/$ed25519_archive.part" "$base/pool/main/s/signify-openbsd/$ed25519_archive" &&
       echo "$ed25519_sha256  $ed25519_dir/$ed25519_archive.part" | sha256sum -c --quiet -; then
      fetched=1
      break
    fi
  done
  if [ -z "$fetched" ]; then
    rm -f "$ed25519_dir/$ed25519_archive.part"
    echo "setup: could not fetch $ed25519_archive with SHA-256 $ed25519_sha256" >&2
    exit 1
  fi
  top=signify-$ed25519_version
  rm -rf "$ed25519_source.part"
  mkdir -p "$ed25519_source.part"
  tar -xzf "$ed25519_dir/$ed25519_archive.part" -C "$ed25519_source.part" --strip-components=1 \
    $top/{COPYING,compat.h,crypto_api.h,crypto_api.c,fe25519.h,fe25519.c,sc25519.h,sc25519.c,ge25519.h} \
    $top/{mod_ge25519.c,mod_ed25519.c,ge25519_base.data,sha2.h,sha2.c,timingsafe_bcmp.c} \
    $top/{explicit_bzero.h,explicit_bzero.c}
  rm -f "$ed25519_dir/$ed25519_archive.part"
  rm -rf "$ed25519_source"
  mv "$ed25519_source.part" "$ed25519_source"
fi
