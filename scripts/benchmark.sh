#!/usr/bin/env bash
# Benchmark on the virtual notebook, in one run: the sizes of the shipped
# binaries; device calls and wall time per sticky-key exchange on each chipset;
# then Keyhaven.exe's start-up time, the time from an Fn message to the EC's Fn
# state change, and the resident program's CPU use over an idle minute and its
# memory. Each phase runs twice: in a 32-bit prefix against the i686 drivers, and in
# a 64-bit prefix against the x64 drivers (the same 32-bit library and program under
# WOW64); the x64 figures are reported beside the 32-bit ones.
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
results=$(mktemp -d)
trap '"$root/scripts/wine-prefix.sh" shutdown 2>/dev/null || true; rm -rf "$results"' EXIT

# Wine does not report another process's CPU times: the idle phase is sampled
# here, from the system's own accounting of the resident Keyhaven.exe process.
sample_idle() {
  local markers=$1 pid ticks=$(getconf CLK_TCK) begin end
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

# The exchange and Keyhaven phases in a prefix of the given architecture (win32, win64).
run_phases() {
  local arch=$1 out=$2 markers
  export WINE_PREFIX_ARCH=$arch WINEPREFIX="$build/benchmark-prefix-$arch"
  "$root/scripts/wine-prefix.sh" create
  # (Windows programs end their lines with CR LF: kept as plain lines.)
  "$root/scripts/wine-run.sh" "$build/bin/exchange_benchmark.exe" "$exchanges" | tr -d '\r' > "$out/exchanges.txt"
  markers=$(mktemp -d)
  sample_idle "$markers" > "$markers/idle.txt" &
  local sampler=$!
  local status=0
  "$root/scripts/wine-run.sh" "$build/bin/keyhaven_benchmark.exe" "$idle" "Z:${markers//\//\\}" | tr -d '\r' \
    > "$out/keyhaven.txt" || status=$?
  # A run that ended before its idle phase leaves no sampler waiting behind it.
  [ -e "$markers/idle.end" ] || kill "$sampler" 2>/dev/null || true
  wait "$sampler" || true
  cat "$markers/idle.txt" >> "$out/keyhaven.txt"
  rm -rf "$markers"
  "$root/scripts/wine-prefix.sh" shutdown
  rm -rf "$WINEPREFIX"
  if [ "$status" -ne 0 ]; then echo "keyhaven_benchmark failed in the $arch prefix" >&2; return "$status"; fi
}

echo "Machine: $(nproc) cores, $(free -g | awk '/^Mem:/{print $2}') GiB, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(wine --version)"
echo
echo "Shipped binaries (stripped; the x64 drivers test-signed)"
for file in Latchwire.dll Keyhaven.exe latchwire.sys vnotebook.sys x64/latchwire.sys x64/vnotebook.sys \
            FnStickyKeySetup.exe; do
  [ -f "$build/bin/$file" ] && printf '    %-22s %9d bytes\n' "$file" "$(stat -c %s "$build/bin/$file")"
done
echo

mkdir -p "$results/win32" "$results/win64"
run_phases win32 "$results/win32"
run_phases win64 "$results/win64"

# One table: each row's x64 figures beside its 32-bit ones.
head -n 1 "$results/win32/exchanges.txt"
echo
printf '%-16s %-18s | %-40s | %s\n' "" "" "32-bit prefix, i686 driver" "64-bit prefix, x64 driver (WOW64)"
awk 'NR == FNR { if (NF == 7 && $4 ~ /^[0-9.]+$/) x64[$1 " " $2 " " $3] = sprintf("%8s %10s %10s %9s", $4, $5, $6, $7); next }
     $1 == "chipset" { printf "%-35s | %8s %10s %10s %9s | %8s %10s %10s %9s\n", "chipset          command", "calls", "median ms", "p95 ms", "failures", "calls", "median ms", "p95 ms", "failures"; next }
     NF == 7 && $4 ~ /^[0-9.]+$/ { key = $1 " " $2 " " $3
       printf "%-16s %-18s | %8s %10s %10s %9s | %s\n", $1 " " $2, $3, $4, $5, $6, $7, (key in x64) ? x64[key] : "(missing)" }' \
  "$results/win64/exchanges.txt" "$results/win32/exchanges.txt"
echo
while IFS= read -r line; do
  [ -n "$line" ] || continue
  name=${line:0:44}
  echo "$line"
  other=$(grep -F -- "$name" "$results/win64/keyhaven.txt" | head -n 1 || true)
  printf '%-44s %s\n' "  x64 driver (64-bit prefix)" "${other:44}"
done < "$results/win32/keyhaven.txt"
