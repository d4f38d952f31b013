#!/usr/bin/env bash
# Signs binaries with the build's own test certificate (Authenticode, SHA-256):
#   test-sign.sh CERT_DIR UNSIGNED SIGNED [UNSIGNED SIGNED ...]
# The certificate and its private key are made in CERT_DIR (a folder of the build
# tree, never of the repository) the first time, and kept for later builds. Windows
# loads a driver signed so only in test-signing mode, with the certificate trusted.
# The signing time is the certificate's start (SOURCE_DATE_EPOCH when set): the same
# certificate and image then give the same signed bytes, and the time lies within the
# certificate's validity.
set -euo pipefail
cert_dir=${1:?usage: $0 CERT_DIR UNSIGNED SIGNED...}
shift
cert="$cert_dir/test-signing.crt" key="$cert_dir/test-signing.key"
if [ ! -s "$cert" ] || [ ! -s "$key" ]; then
  mkdir -p "$cert_dir"
  (umask 077; openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 \
    -keyout "$key.new" -out "$cert.new" -subj "/CN=Fn-StickyKey test signing (not for release)" \
    -addext "keyUsage=critical,digitalSignature,keyCertSign" -addext "extendedKeyUsage=codeSigning" \
    >/dev/null 2>&1)
  mv "$key.new" "$key" && mv "$cert.new" "$cert"
fi
signing_time=${SOURCE_DATE_EPOCH:-$(date -d "$(openssl x509 -in "$cert" -noout -startdate | cut -d= -f2)" +%s)}
while [ $# -ge 2 ]; do
  unsigned=$1 signed=$2
  shift 2
  mkdir -p "$(dirname "$signed")"
  rm -f "$signed.new"
  osslsigncode sign -certs "$cert" -key "$key" -h sha256 -n "Fn-StickyKey" \
    -time "$signing_time" \
    -in "$unsigned" -out "$signed.new" >/dev/null
  mv "$signed.new" "$signed"
done
