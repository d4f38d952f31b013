#!/usr/bin/env bash
# The signed x64 drivers: each verifies against the build's test certificate, the
# signature covers the image (a copy with one byte of its code changed does not
# verify), and the repository holds no private key.
#   check_x64_signatures.sh SOURCE_DIR CERTIFICATE FILE...
set -uo pipefail
source_dir=$1 certificate=$2
shift 2
status=0
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for file in "$@"; do
  if osslsigncode verify -CAfile "$certificate" -in "$file" >"$scratch/verify.log" 2>&1; then
    echo "${file##*/}: signed, verifies against the test certificate"
  else
    echo "${file##*/}: does not verify against the test certificate"; cat "$scratch/verify.log"; status=1
  fi
  cp "$file" "$scratch/changed"
  # One byte of the first section's raw data (the code), inverted.
  at=$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(); pe=struct.unpack_from("<I",d,0x3C)[0]; opt=struct.unpack_from("<H",d,pe+20)[0]; print(struct.unpack_from("<I",d,pe+24+opt+20)[0]+16)' "$file")
  python3 -c 'import sys; p,a=sys.argv[1],int(sys.argv[2]); d=bytearray(open(p,"rb").read()); d[a]^=0xFF; open(p,"wb").write(d)' "$scratch/changed" "$at"
  if osslsigncode verify -CAfile "$certificate" -in "$scratch/changed" >/dev/null 2>&1; then
    echo "${file##*/}: a changed copy still verifies: the signature does not cover the image"; status=1
  fi
done
if git -C "$source_dir" rev-parse --git-dir >/dev/null 2>&1; then
  keys=$(git -C "$source_dir" grep -l -e "PRIVATE KEY-----" -- . ':!tests/shipping/check_x64_signatures.sh' || true)
  if [ -n "$keys" ]; then echo "the repository holds a private key: $keys"; status=1; fi
fi
exit "$status"
