#!/usr/bin/env bash
# Builds the shipped targets once more, from the same sources in another build tree
# (another path), and compares every shipped file byte for byte with the first build.
#   check_reproducible.sh SOURCE_DIR FIRST_BIN_DIR SECOND_BUILD_DIR "TARGETS" FILE...
# TOOLCHAIN names the toolchain file (the i686 one unless set). The second build signs
# with the first one's test certificate (a signed file differs with the key).
set -euo pipefail
source_dir=$1 first_bin=$2 second=$3 targets=$4
shift 4
rm -rf "$second"
cmake -S "$source_dir" -B "$second" -DCMAKE_TOOLCHAIN_FILE="${TOOLCHAIN:-$source_dir/cmake/toolchain-i686-mingw.cmake}" \
      -DCMAKE_BUILD_TYPE=Release -DLW_SIGNING_DIR="$first_bin/../test-signing" >/dev/null
# shellcheck disable=SC2086
cmake --build "$second" -j2 --target $targets >/dev/null
status=0
for file in "$@"; do
  if cmp -s "$first_bin/$file" "$second/bin/$file"; then
    echo "$file: the same $(stat -c %s "$first_bin/$file") bytes"
  else
    echo "$file: differs between two builds of the same sources"; status=1
  fi
done
[ "$status" -eq 0 ] && rm -rf "$second"
exit "$status"
