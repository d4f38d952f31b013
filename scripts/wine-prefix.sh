#!/usr/bin/env bash
# create: make (or refresh) the 32-bit prefix at $WINEPREFIX; shutdown: end every Wine process of it.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the prefix}"
export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
case "${1:-}" in
  create)
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"   # a fresh registry and service database for every run
    wineboot -i >/dev/null 2>&1
    # With no window manager (Xvfb), Wine waits two seconds whenever a managed
    # window is hidden: leave the windows of this prefix unmanaged.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    wineserver -w
    ;;
  shutdown)
    wineserver -k 2>/dev/null || true
    ;;
  *) echo "usage: $0 create|shutdown" >&2; exit 2 ;;
esac
