#!/usr/bin/env bash
# Main job: builds everything, prepares a Wine prefix, installs the virtual
# notebook's driver with Check_Driver and runs Keyhaven.exe through a scripted
# scenario, printing the EC's state, the program's Fn state and the library's
# trace lines step by step, and saving screenshots of the dialog. Runs on the
# user's display, or under Xvfb when there is none. Installs what it needs on
# a fresh machine first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# Wine keeps the display of the first program of a session for all later
# ones: without a display, run the whole script under Xvfb.
if [ -z "${DISPLAY:-}" ] && [ -z "${DEMO_DISPLAY_READY:-}" ]; then
  bash "$root/scripts/setup.sh"
  DEMO_DISPLAY_READY=1 exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi
bash "$root/scripts/setup.sh"
build="$root/build/win"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 >/dev/null
export WINEPREFIX="$build/demo-prefix"
"$root/scripts/wine-prefix.sh" create
trap '"$root/scripts/wine-prefix.sh" shutdown' EXIT

shots="$build/screenshots"
rm -rf "$shots" && mkdir -p "$shots"
"$root/scripts/wine-run.sh" "$build/bin/keyhaven_scenario.exe" "Z:${shots//\//\\}"
for bmp in "$shots"/*.bmp; do
  [ -e "$bmp" ] || continue
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
echo
echo "Screenshots: $shots"
