#!/usr/bin/env bash
# Installs every Debian package the build and the tests need. Idempotent and
# non-interactive: packages already present cost one dpkg query.
set -euo pipefail

packages=(
  cmake make g++ pkg-config python3
  g++-mingw-w64-i686 gcc-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686
  libz-mingw-w64-dev zlib1g-dev
  wine wine32:i386 wine64
  googletest
  xvfb xdotool x11-utils imagemagick fonts-nanum
  gcab cabextract
  nlohmann-json3-dev
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

# Wine runs the 32-bit programs through its i386 loader, which the kernel must
# be able to start. Some virtual machines' kernels refuse 32-bit code ("Exec
# format error"); there the i386 programs are handed to qemu's user-mode
# emulator instead, registered as their interpreter: the same programs, only
# much slower.
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  echo "setup: this kernel does not run 32-bit programs; running them through qemu-i386"
  if [ "$(dpkg-query -W -f='${Status}' qemu-user-static 2>/dev/null || true)" != "install ok installed" ]; then
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends qemu-user-static >/dev/null
  fi
  binfmt=/proc/sys/fs/binfmt_misc
  [ -e "$binfmt/register" ] || "${sudo_cmd[@]}" mount -t binfmt_misc binfmt_misc "$binfmt"
  if [ ! -e "$binfmt/qemu-i386" ]; then
    # ELF, 32-bit, little-endian, an executable or shared object for i386.
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    echo ":qemu-i386:M::$magic:$mask:/usr/bin/qemu-i386-static:F" | "${sudo_cmd[@]}" tee "$binfmt/register" >/dev/null
  fi
  /lib/ld-linux.so.2 --version >/dev/null 2>&1 || { echo "setup: 32-bit programs still do not run"; exit 1; }
fi
