#!/usr/bin/env bash
# cmake/wine-prefix.sh never reuses a prefix made with other Wine packages,
# nor a copy of a template made anew since, and never copies a stale template.
# A package change is played by ZD_WINE_FINGERPRINT; the real template (a
# ready prefix of the current packages) is the starting point.
#
#   wine_prefix_stamp.sh WORK_DIR
set -uo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$1
template=${ZD_WINE_TEMPLATE:-$here/build/wineprefix}
make_prefix() { "$here/cmake/wine-prefix.sh" </dev/null >/dev/null 2>&1; }
failures=0
check() {  # check WHAT COMMAND...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
first_line() { sed -n 1p "$1/.zd-ready"; }
runs() { WINEPREFIX=$1 wine cmd /c echo ok </dev/null 2>/dev/null | tr -d '\r' | grep -qx ok; }
stop_servers() { for p in "$@"; do WINEPREFIX=$p wineserver -k >/dev/null 2>&1; done; }

rm -rf "$work"
mkdir -p "$work"
outer=$work/template
copy=$work/copy
WINEPREFIX=$template ZD_WINE_COLD=1 make_prefix
[ -f "$template/.zd-ready" ] || { echo "no ready template at $template"; exit 1; }

# A copy of a ready template of the current packages, and a copy of that.
WINEPREFIX=$outer ZD_WINE_TEMPLATE=$template make_prefix
check "a copy names its template" grep -q "^copy of: " "$outer/.zd-ready"
WINEPREFIX=$copy ZD_WINE_TEMPLATE=$outer make_prefix
check "a copy runs programs" runs "$copy"
touch "$copy/drive_c/kept"
WINEPREFIX=$copy ZD_WINE_TEMPLATE=$outer make_prefix
check "a current copy is reused" test -f "$copy/drive_c/kept"

# The template made anew: its copies are made again from it.
{ echo "made: a-later-one"; sed 1d "$outer/.zd-ready"; } >"$outer/.zd-ready.new"
mv "$outer/.zd-ready.new" "$outer/.zd-ready"
WINEPREFIX=$copy ZD_WINE_TEMPLATE=$outer make_prefix
check "a copy of an older template is made again" test ! -e "$copy/drive_c/kept"
check "... from the new template" grep -qx "copy of: a-later-one" "$copy/.zd-ready"
touch "$copy/drive_c/kept"

# Other Wine packages: the copy, made with the old ones, is made again from
# a template of the new ones.
printf 'made: new-packages\nwine-9.0 and wine32:i386\n' >"$outer/.zd-ready"
ZD_WINE_FINGERPRINT="wine-9.0 and wine32:i386" WINEPREFIX=$copy ZD_WINE_TEMPLATE=$outer make_prefix
check "a prefix of other packages is made again" test ! -e "$copy/drive_c/kept"
check "... and records the new packages" grep -qx "wine-9.0 and wine32:i386" "$copy/.zd-ready"

# A template of the old packages is made anew before it is copied.
touch "$outer/drive_c/kept"
ZD_WINE_FINGERPRINT="wine-10.0" WINEPREFIX=$copy ZD_WINE_TEMPLATE=$outer make_prefix
check "a stale template is made again" test ! -e "$outer/drive_c/kept"
check "... and records the packages" grep -qx "wine-10.0" "$outer/.zd-ready"
check "... before it is copied" grep -qx "copy of: $(sed -n '1s/^made: //p' "$outer/.zd-ready")" \
  "$copy/.zd-ready"
check "... and the copy runs programs" runs "$copy"

stop_servers "$copy" "$outer"
[ $failures -eq 0 ] && rm -rf "$work"
echo "$failures failed"
exit $((failures > 0))
