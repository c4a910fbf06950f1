#!/usr/bin/env bash
# Runs a Windows program under Wine in the build tree's own throwaway prefix
# (build/tests-prefix, a copy of the template prefix build/wineprefix, unless
# ZD_WINEPREFIX or WINEPREFIX names another).
# The prefix is made on first use; the wineserver is kept warm so that each
# test program starts quickly. Wine's background processes get no inherited
# output pipes (ctest would otherwise wait for them forever).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX=${ZD_WINEPREFIX:-${WINEPREFIX:-$here/../build/tests-prefix}}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
"$here/wine-prefix.sh" </dev/null >/dev/null 2>&1
exec wine "$@"
