#!/usr/bin/env bash
# Main job: builds everything, prepares a Wine prefix, and runs the demonstration
# on the virtual notebook. Installs what it needs on a fresh machine first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
build="$root/build/win"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target latchwire_demo vnctl
export WINEPREFIX="$build/demo-prefix"
"$root/scripts/wine-prefix.sh" create
trap '"$root/scripts/wine-prefix.sh" shutdown' EXIT
"$root/scripts/wine-run.sh" "$build/bin/latchwire_demo.exe"
