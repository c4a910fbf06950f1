#!/usr/bin/env bash
# Makes (once) and warms the Wine prefix named by WINEPREFIX. Safe to call
# from several processes at once. A new prefix is a hard-linked copy of a ready
# template prefix where there is one (ZD_WINE_TEMPLATE, by default the build
# tree's own): the copies share the 1 GB of system programs and libraries,
# which Wine only reads, and get files of their own for everything else (Wine
# writes its registry files in place).
#
# A prefix records in .zd-ready what it was made with: the Wine version and
# the installed Wine packages (ZD_WINE_FINGERPRINT stands in for them when
# set), and which template it was copied from. A prefix made with other Wine
# packages (a prefix made before the 32-bit Wine was installed does not run
# 64-bit programs after it) is made anew, and so is a copy of a template that
# has been made anew since; a stale template is never copied.
set -uo pipefail
: "${WINEPREFIX:?}"
here=$(cd "$(dirname "$0")" && pwd)
template=${ZD_WINE_TEMPLATE:-$here/../build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# What a prefix depends on: the Wine version and every installed Wine package
# of every architecture, one a line.
fingerprint() {
  if [ -n "${ZD_WINE_FINGERPRINT:-}" ]; then
    printf '%s\n' "$ZD_WINE_FINGERPRINT"
    return
  fi
  wine --version 2>/dev/null || echo "no wine"
  dpkg-query -W -f='${db:Status-Abbrev} ${Package}:${Architecture} ${Version}\n' \
    'wine*' 'libwine*' 'fonts-wine' 2>/dev/null | awk '$1 == "ii" {print $2, $3}' | sort
}
made_with=$(fingerprint)

# The stamp's first line names the prefix (made: <id>) or its template
# (copy of: <id>); the rest is the fingerprint.
stamp_id() { sed -n '1s/^[^:]*: //p' "$1/.zd-ready" 2>/dev/null; }
current() { [ -f "$1/.zd-ready" ] && [ "$(sed 1d "$1/.zd-ready")" = "$made_with" ]; }

mkdir -p "$WINEPREFIX"
exec 9>"$WINEPREFIX.lock"
flock 9
# The lock descriptor is closed for Wine's own processes (9>&-): a persistent
# wineserver that inherited it would hold the lock for ever.
is_template=0
[ "$(cd "$template" 2>/dev/null && pwd -P)" = "$(cd "$WINEPREFIX" && pwd -P)" ] && is_template=1
usable_template=0
if [ $is_template = 0 ]; then
  # The template first, where it is missing or stale (its own lock; a
  # template never waits for a copy, so the order holds).
  current "$template" ||
    WINEPREFIX=$template ZD_WINE_TEMPLATE=$template ZD_WINE_COLD=1 "$here/wine-prefix.sh" 9>&-
  current "$template" && usable_template=1
fi

if [ -f "$WINEPREFIX/.zd-ready" ]; then
  stale=0
  current "$WINEPREFIX" || stale=1
  if [ $usable_template = 1 ] && sed -n 1p "$WINEPREFIX/.zd-ready" | grep -q '^copy of: ' &&
     [ "$(stamp_id "$WINEPREFIX")" != "$(stamp_id "$template")" ]; then
    stale=1
  fi
  if [ $stale = 1 ]; then
    wineserver -k </dev/null >/dev/null 2>&1 9>&- || true
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
  fi
fi

if [ ! -f "$WINEPREFIX/.zd-ready" ] && [ $usable_template = 1 ]; then
  { rm -rf "$WINEPREFIX" && cp -al "$template" "$WINEPREFIX" &&
    find "$WINEPREFIX" -type f ! -iname '*.dll' ! -iname '*.exe' -exec sh -c \
      'for f; do cp -p "$f" "$f.own" && mv -f "$f.own" "$f"; done' sh {} + &&
    { echo "copy of: $(stamp_id "$template")"; printf '%s\n' "$made_with"; } \
      >"$WINEPREFIX/.zd-ready"; } 2>/dev/null || rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
fi
if [ ! -f "$WINEPREFIX/.zd-ready" ]; then
  wineboot -i </dev/null >/dev/null 2>&1 9>&-
  wineserver -w </dev/null >/dev/null 2>&1 9>&-
  { echo "made: $(date -u +%Y%m%dT%H%M%S)-$$-$RANDOM"; printf '%s\n' "$made_with"; } \
    >"$WINEPREFIX/.zd-ready"
fi
# A template made on the way is left cold: no server lives on for it.
[ -z "${ZD_WINE_COLD:-}" ] || exit 0
wineserver -p </dev/null >/dev/null 2>&1 9>&- || true
# The first program of a server's life starts Wine's services (device and
# plug-and-play managers), which live on with that program's output handles.
# Start them here, with none, so that no test's output pipe is held open.
wine cmd /c exit 0 </dev/null >/dev/null 2>&1 9>&- || true
