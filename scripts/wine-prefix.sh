#!/usr/bin/env bash
# Wine prefixes of a test run or a script (quiet; 32-bit, or 64-bit with
# WINE_PREFIX_ARCH=win64, which runs 32-bit programs under WOW64 beside 64-bit drivers):
#   create    make (or refresh) the prefix at $WINEPREFIX
#   clone DIR make $WINEPREFIX a fresh copy of the prefix at DIR (Windows' own files are
#             shared as hard links: Wine never writes them; everything it writes is copied)
#   shutdown  end every Wine process of $WINEPREFIX and wait until they are gone
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the prefix}"
export WINEARCH=${WINE_PREFIX_ARCH:-win32} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
case "${1:-}" in
  create)
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"   # a fresh registry and service database for every run
    wineboot -i >/dev/null 2>&1
    # With no window manager (Xvfb), Wine waits two seconds whenever a managed
    # window is hidden: leave the windows of this prefix unmanaged.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    # A crash ends the program with its backtrace on the error output, instead of a
    # crash dialog that nobody answers until the test times out.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wineserver -w
    ;;
  clone)
    template=${2:?clone needs the template prefix}
    rm -rf "$WINEPREFIX"
    cp -al "$template" "$WINEPREFIX"
    # Replace the links of everything a session may write with copies of its own.
    for file in "$WINEPREFIX"/*.reg "$WINEPREFIX"/.update-timestamp; do
      cp --remove-destination -p "$template/${file##*/}" "$file"
    done
    for dir in "$WINEPREFIX"/drive_c/*; do
      [ "${dir##*/}" = windows ] && continue
      rm -rf "$dir" && cp -a "$template/drive_c/${dir##*/}" "$dir"
    done
    ;;
  shutdown)
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    ;;
  *) echo "usage: $0 create|clone TEMPLATE|shutdown" >&2; exit 2 ;;
esac
