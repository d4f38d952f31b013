#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian machine:
# the mingw-w64 cross compilers (i686 for the product, x86-64 for the x64 drivers),
# 32-bit and 64-bit Wine (a 64-bit prefix runs the 32-bit programs under WOW64
# beside the x64 drivers), Xvfb, xdotool (real X keyboard events for the keyboard
# test), GoogleTest's sources, and the signing tools.
# Skips every step whose result is already present.
set -euo pipefail

need_sudo() { if [ "$(id -u)" -ne 0 ]; then echo sudo; fi; }
SUDO=$(need_sudo)

packages=(
  cmake make
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  wine wine32:i386 wine64
  osslsigncode openssl
  xvfb xauth x11-apps imagemagick xdotool
  googletest
  nsis python3
  fonts-wqy-microhei
)

# The product and nearly every test program are 32-bit x86 code, which Wine runs as a 32-bit
# Linux process: a kernel without IA-32 emulation refuses it ("Exec format error").
# Stop here, before a build whose Windows tests could only end as "Not Run".
require_32bit_programs() {
  if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "setup: this machine cannot run 32-bit x86 programs, so Wine cannot run the 32-bit" >&2
    echo "setup: product and tests; the kernel needs IA-32 emulation (dmesg tells if it is off)" >&2
    exit 1
  fi
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  require_32bit_programs
  exit 0
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
require_32bit_programs
