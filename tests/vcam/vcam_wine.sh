#!/usr/bin/env bash
# zd-vcam and zd-capture --mf-device where Windows has no virtual cameras
# (Wine has no mfsensorgroup.dll and no Frame Server):
# - --install, --remove and --status say so plainly and exit 3; --install and
#   --remove name what was not changed;
# - the media source's class and the device interface classes are exactly as
#   before (an export of both keys in the 64-bit view, compared);
# - a wrong command line exits 1 with the usage;
# - zd-capture --mf-device with a name Media Foundation does not list exits 2
#   and says which camera it could not find.
#   vcam_wine.sh WINE_RUN ZD_VCAM ZD_CAPTURE MODULE WORKDIR
set -uo pipefail
wine_run=$1 vcam=$2 capture=$3 module=$4 work=$5
rm -rf "$work"
mkdir -p "$work/folder"
# The layout of the installation folder: the module beside zd-vcam.exe.
cp "$vcam" "$module" "$work/folder/" || { echo "vcam_wine: cannot copy $vcam and $module" >&2; exit 2; }
tool=$work/folder/$(basename "$vcam")
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
win() { echo "Z:${1//\//\\}"; }

export_keys() {  # OUT
  local key n=0
  : >"$1"
  for key in 'HKLM\Software\Classes\CLSID' 'HKLM\SYSTEM\CurrentControlSet\Control\DeviceClasses'; do
    n=$((n + 1))
    "$wine_run" reg export "$key" "$(win "$work/export$n.reg")" /reg:64 /y </dev/null >/dev/null 2>&1 ||
      { echo "vcam_wine: cannot export $key" >&2; exit 2; }
    iconv -f UTF-16LE -t UTF-8 "$work/export$n.reg" | tr -d '\r' >>"$1"
  done
}

# Each run: arguments, expected exit code, then lines its output must hold.
expect() {  # EXPECTED_CODE ARGS... -- PATTERN...
  local want=$1 args=() patterns=() code
  shift
  while [ $# -gt 0 ] && [ "$1" != -- ]; do args+=("$1"); shift; done
  shift
  patterns=("$@")
  "$wine_run" "$tool" "${args[@]}" </dev/null >"$work/out.txt" 2>&1
  code=$?
  tr -d '\r' <"$work/out.txt" | sed "s/^/  zd-vcam ${args[*]}: /"
  [ "$code" = "$want" ] || fail "zd-vcam ${args[*]} exited $code, expected $want"
  local pattern
  for pattern in "${patterns[@]}"; do
    grep -qF -- "$pattern" "$work/out.txt" || fail "zd-vcam ${args[*]}: no \"$pattern\""
  done
}

export_keys "$work/before.reg"
grep -q 'DeviceClasses' "$work/before.reg" || fail "the export holds no device interface classes"
unavailable="this Windows has no virtual cameras: mfsensorgroup.dll is not in the system folder"
expect 3 --install -- "$unavailable" "They come with Windows 11 (build 22000 and later)" \
  "Nothing was changed."
expect 3 --install -- "Nothing was changed."  # again: the same answer
expect 3 --remove -- "$unavailable" "Nothing was changed."
expect 3 --status -- "Virtual cameras: not available here: mfsensorgroup.dll" \
  "Module: \"$(win "$work/folder")\\ZintuDobrel64.ax\"" \
  "Media source {2F270E13-5C19-4715-AAC6-34EF9557D3CB}: not registered"
grep -q "(missing)" "$work/out.txt" && fail "zd-vcam --status does not find the module beside it"
expect 1 --install --remove -- "give one of --install, --remove, --status" "usage: zd-vcam"
expect 1 -- "usage: zd-vcam"
export_keys "$work/after.reg"
if diff -u "$work/before.reg" "$work/after.reg" >"$work/registry.diff"; then
  echo "registry: the class and device interface keys are as before ($(wc -l <"$work/before.reg") lines)"
else
  fail "the registry changed:"
  head -20 "$work/registry.diff" >&2
fi

"$wine_run" "$capture" --mf-device "Zintu Dobrel x64" --frames 3 </dev/null >"$work/capture.txt" 2>&1
code=$?
tr -d '\r' <"$work/capture.txt" | sed 's/^/  zd-capture --mf-device: /'
[ $code = 2 ] || fail "zd-capture --mf-device exited $code, expected 2 (device not found)"
grep -qF "no Media Foundation camera named 'Zintu Dobrel x64'" "$work/capture.txt" ||
  fail "zd-capture --mf-device did not name the camera it could not find"

[ $failures = 0 ] || { echo "vcam_wine: $failures checks failed" >&2; exit 1; }
echo "vcam_wine: passed"
