#!/usr/bin/env bash
# Builds everything and runs every test: the emulator core natively (with
# sanitizers), then the Windows programs under Wine with a virtual display.
# Installs what it needs on a fresh machine first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"

native="$root/build/native"
cmake -S "$root" -B "$native" -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$native" -j2
ctest --test-dir "$native" --output-on-failure

win="$root/build/win"
cmake -S "$root" -B "$win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$win" -j2
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir "$win" -j4 --output-on-failure
