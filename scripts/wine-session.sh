#!/usr/bin/env bash
# Runs one Windows test program in a Wine session of its own: a fresh clone of the
# run's template prefix, with its own wineserver, ended with the program.
#   WINE_TEMPLATE=... WINE_SESSIONS=... wine-session.sh NAME PROGRAM [ARGS...]
# With WINE_PREFIX_ARCH=win64 the template (and so the session) is a 64-bit prefix.
# The session's prefix stays in $WINE_SESSIONS/NAME when the program fails.
set -uo pipefail
: "${WINE_TEMPLATE:?WINE_TEMPLATE must name the template prefix of the run}"
: "${WINE_SESSIONS:?WINE_SESSIONS must name the folder of the sessions}"
name=${1:?usage: $0 NAME PROGRAM [ARGS...]}
shift
scripts=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$WINE_SESSIONS"
export WINEPREFIX="$WINE_SESSIONS/$name"
"$scripts/wine-prefix.sh" clone "$WINE_TEMPLATE" || exit 1
end_session() { "$scripts/wine-prefix.sh" shutdown; }
trap 'end_session; exit 1' INT TERM HUP
# The server outlives every process of the session by ten seconds at most, so that
# no session is left behind even when this script is killed without its trap.
WINEARCH=${WINE_PREFIX_ARCH:-win32} WINEDEBUG=-all wineserver -p10
"$scripts/wine-run.sh" "$@"
status=$?
end_session
[ "$status" -eq 0 ] && rm -rf "$WINEPREFIX"   # keep a failed session's prefix to look into
exit "$status"
