#!/usr/bin/env bash
# Runs one Windows program under Wine in the build's prefix, quietly: a 32-bit one,
# or a 64-bit one with WINE_PREFIX_ARCH=win64.
# WINEPREFIX must be set by the caller (CTest sets it per build tree).
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the prefix to use}"
overrides="mscoree,mshtml="
# Without a sound card, keep Wine's ALSA driver from reporting its search on every sound.
[ -e /dev/snd ] || overrides="$overrides;winealsa.drv=d"
export WINEARCH=${WINE_PREFIX_ARCH:-win32} WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-$overrides}
exec wine "$@"
