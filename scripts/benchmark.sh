#!/usr/bin/env bash
# Benchmark on the virtual notebook: device calls and wall time per sticky-key
# exchange on each chipset. Builds what it needs first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
build="$root/build/win"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target exchange_benchmark >/dev/null
export WINEPREFIX="$build/benchmark-prefix"
"$root/scripts/wine-prefix.sh" create
trap '"$root/scripts/wine-prefix.sh" shutdown' EXIT
"$root/scripts/wine-run.sh" "$build/bin/exchange_benchmark.exe" "$@"
