#!/usr/bin/env bash
# Runs one Windows program under Wine in the build's 32-bit prefix, quietly.
# WINEPREFIX must be set by the caller (CTest sets it per build tree).
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the prefix to use}"
export WINEARCH=win32 WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
exec wine "$@"
