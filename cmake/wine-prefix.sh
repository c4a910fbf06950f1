#!/usr/bin/env bash
# Makes (once) and warms the Wine prefix named by WINEPREFIX. Safe to call
# from several processes at once.
set -uo pipefail
: "${WINEPREFIX:?}"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
mkdir -p "$WINEPREFIX"
exec 9>"$WINEPREFIX.lock"
flock 9
# The lock descriptor is closed for Wine's own processes (9>&-): a persistent
# wineserver that inherited it would hold the lock for ever.
if [ ! -f "$WINEPREFIX/.zd-ready" ]; then
  wineboot -i </dev/null >/dev/null 2>&1 9>&-
  wineserver -w </dev/null >/dev/null 2>&1 9>&-
  touch "$WINEPREFIX/.zd-ready"
fi
wineserver -p </dev/null >/dev/null 2>&1 9>&- || true
# The first program of a server's life starts Wine's services (device and
# plug-and-play managers), which live on with that program's output handles.
# Start them here, with none, so that no test's output pipe is held open.
wine cmd /c exit 0 </dev/null >/dev/null 2>&1 9>&- || true
