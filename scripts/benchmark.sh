#!/usr/bin/env bash
# Benchmark on the virtual notebook, in one run: the sizes of the shipped
# binaries; device calls and wall time per sticky-key exchange on each chipset;
# then Keyhaven.exe's start-up time, the time from an Fn message to the EC's Fn
# state change, and the resident program's CPU use over an idle minute and its
# memory.
#   bash scripts/benchmark.sh [exchanges per command, default 200] [idle seconds, default 60]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# Wine keeps the display of the first program of a session for all later
# ones: without a display, run the whole script under Xvfb.
if [ -z "${DISPLAY:-}" ] && [ -z "${BENCHMARK_DISPLAY_READY:-}" ]; then
  bash "$root/scripts/setup.sh"
  BENCHMARK_DISPLAY_READY=1 exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi
exchanges=${1:-200}
idle=${2:-60}
bash "$root/scripts/setup.sh"
build="$root/build/win"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 >/dev/null
export WINEPREFIX="$build/benchmark-prefix"
"$root/scripts/wine-prefix.sh" create
trap '"$root/scripts/wine-prefix.sh" shutdown' EXIT

echo "Machine: $(nproc) cores, $(free -g | awk '/^Mem:/{print $2}') GiB, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(wine --version)"
echo
echo "Shipped binaries (stripped)"
for file in Latchwire.dll Keyhaven.exe latchwire.sys vnotebook.sys FnStickyKeySetup.exe; do
  [ -f "$build/bin/$file" ] && printf '    %-22s %9d bytes\n' "$file" "$(stat -c %s "$build/bin/$file")"
done
echo
"$root/scripts/wine-run.sh" "$build/bin/exchange_benchmark.exe" "$exchanges"
echo
# Wine does not report another process's CPU times: the idle phase is sampled
# here, from the system's own accounting of the resident Keyhaven.exe process.
markers=$(mktemp -d)
sample_idle() {
  local pid ticks=$(getconf CLK_TCK) begin end
  until [ -e "$markers/idle.begin" ]; do sleep 0.2; done
  pid=$(pgrep -f 'Keyhaven.exe' | head -n 1)
  begin=$(awk '{print $14 + $15}' "/proc/$pid/stat"); local t0=$(date +%s.%N)
  until [ -e "$markers/idle.end" ]; do sleep 0.2; done
  end=$(awk '{print $14 + $15}' "/proc/$pid/stat"); local t1=$(date +%s.%N)
  awk -v c=$((end - begin)) -v hz="$ticks" -v t0="$t0" -v t1="$t1" 'BEGIN {
    ms = 1000 * c / hz; s = t1 - t0;
    printf "%-44s %.0f ms CPU in %.0f s (%.2f %%)\n", "resident program idle (un-stick timer on)", ms, s, ms / (10 * s) }'
  awk '/^VmRSS|^VmHWM/ {v[$1] = $2} END {
    printf "%-44s resident %.1f MiB, peak %.1f MiB\n", "resident program memory", v["VmRSS:"] / 1024, v["VmHWM:"] / 1024 }' \
    "/proc/$pid/status"
}
sample_idle > "$markers/idle.txt" &
sampler=$!
"$root/scripts/wine-run.sh" "$build/bin/keyhaven_benchmark.exe" "$idle" "Z:${markers//\//\\}"
wait "$sampler" || true
cat "$markers/idle.txt"
rm -rf "$markers"
