#!/usr/bin/env bash
# Makes (once) and warms the Wine prefix named by WINEPREFIX. Safe to call
# from several processes at once. A new prefix is a hard-linked copy of a ready
# template prefix where there is one (ZD_WINE_TEMPLATE, by default the build
# tree's own): the copies share the 1 GB of system programs and libraries,
# which Wine only reads, and get files of their own for everything else (Wine
# writes its registry files in place).
set -uo pipefail
: "${WINEPREFIX:?}"
here=$(cd "$(dirname "$0")" && pwd)
template=${ZD_WINE_TEMPLATE:-$here/../build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
mkdir -p "$WINEPREFIX"
exec 9>"$WINEPREFIX.lock"
flock 9
# The lock descriptor is closed for Wine's own processes (9>&-): a persistent
# wineserver that inherited it would hold the lock for ever.
if [ ! -f "$WINEPREFIX/.zd-ready" ] && [ -f "$template/.zd-ready" ] &&
   [ "$(cd "$template" && pwd -P)" != "$(cd "$WINEPREFIX" && pwd -P)" ]; then
  { rm -rf "$WINEPREFIX" && cp -al "$template" "$WINEPREFIX" &&
    find "$WINEPREFIX" -type f ! -iname '*.dll' ! -iname '*.exe' -exec sh -c \
      'for f; do cp -p "$f" "$f.own" && mv -f "$f.own" "$f"; done' sh {} +; } 2>/dev/null ||
    rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
fi
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
