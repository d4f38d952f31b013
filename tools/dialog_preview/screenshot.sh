#!/usr/bin/env bash
# Takes a screenshot of the settings dialog in one language under Xvfb.
#
#   tools/dialog_preview/screenshot.sh BUILD_DIR LANGUAGE OUT.png [EXE]
#
# LANGUAGE is a locale name such as en-US, ja-JP or ru-RU. EXE is the
# executable whose resources are shown (default Keyhaven.exe in BUILD_DIR/bin).
# The dialog runs in a Wine desktop window of its own (so that Wine draws the
# caption), in a throw-away prefix under BUILD_DIR. For Chinese, Japanese and
# Korean the prefix runs with that locale, as on a system of that language, so
# that the dialog font is linked to a CJK font (Debian's fonts-wqy-microhei).
set -euo pipefail

if [ "${1:-}" = --on-display ]; then
  # Second stage, inside xvfb-run: show the dialog and grab the screen.
  shift
  cd "$1/bin"
  wine explorer /desktop=preview,460x560 dialog_preview.exe "$2" --exe "$4" --close-after 12 &
  sleep 8
  xwd -root -silent | convert xwd:- -crop 460x560+0+0 +repage "$3"
  wait
  # Cut the Wine desktop's background away around the dialog.
  background=$(convert "$3" -format '%[pixel:p{459,559}]' info:)
  convert "$3" -bordercolor "$background" -border 1 -trim +repage "$3"
  exit 0
fi

build=$(cd "$1" && pwd); language=$2; out=$(realpath -m "$3"); exe=${4:-Keyhaven.exe}
export WINEPREFIX=$build/screenshot-prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
case "$language" in
  ja*) export LANG=ja_JP.UTF-8 ;;
  ko*) export LANG=ko_KR.UTF-8 ;;
  zh*) export LANG=zh_CN.UTF-8 ;;
esac
[ -d "$WINEPREFIX" ] || { wineboot -i >/dev/null 2>&1; wineserver -w; }
xvfb-run -a -s "-screen 0 1024x768x24" "$0" --on-display "$build" "$language" "$out" "$exe"
wineserver -k
