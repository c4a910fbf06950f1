#!/usr/bin/env bash
# The main job: build ZintuDobrel64.ax for 64-bit Windows, register it in a
# Wine prefix, capture a few seconds from "Zintu Dobrel x64" with zd-capture
# the way capture applications do, print the report and save a snapshot.
#
#   tools/run-main-job.sh [--seconds S] [--cap N] [--keep-registered]
#                         [--build-dir DIR] [--prefix DIR]
#
# The build goes to build/windows (the windows preset) and the Wine prefix is
# build/wineprefix unless --build-dir and --prefix name others.
#
# Exits non-zero when a step fails or the capture check fails (see the
# zd-capture exit codes in the README).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=5
cap=()
keep=0
build=build/windows
prefix=$root/build/wineprefix
while [ $# -gt 0 ]; do
  case $1 in
    --seconds) seconds=$2; shift 2 ;;
    --cap) cap=(--cap "$2"); shift 2 ;;
    --keep-registered) keep=1; shift ;;
    --build-dir) build=$2; shift 2 ;;
    --prefix) prefix=$(mkdir -p "$2" && cd "$2" && pwd); shift 2 ;;
    -h|--help) sed -n '2,14p' "$0"; exit 0 ;;
    *) echo "run-main-job: unknown argument $1" >&2; exit 1 ;;
  esac
done

step() { printf '\n== %s\n' "$*"; }

# Prerequisites, installed only when missing.
packages=(cmake ninja-build g++-mingw-w64-x86-64 wine wine64 googletest imagemagick)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  step "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

step "building the windows preset in $build"
cmake --preset windows -B "$build"
cmake --build "$build"
build=$(cd "$build" && pwd)

export WINEPREFIX=$prefix
export ZD_WINEPREFIX=$WINEPREFIX
step "Wine prefix $WINEPREFIX"
cmake/wine-prefix.sh </dev/null >/dev/null 2>&1

# The module with its settings file and bitmaps, in a folder of its own.
module_dir=$build/module
module=$module_dir/ZintuDobrel64.ax
step "module folder $module_dir"
mkdir -p "$module_dir"
cp "$build/server/ZintuDobrel64.ax" "$module_dir/"
cp assets/ZintuDobrel.ini assets/*.bmp "$module_dir/"
ls -l "$module_dir"

capture=$build/tools/capture/zd-capture.exe
cleanup() {
  if [ $keep -eq 0 ]; then
    cmake/wine-run.sh regsvr32 /u /s "Z:$module" </dev/null >/dev/null 2>&1 || true
    wineserver -k </dev/null >/dev/null 2>&1 || true
  fi
}
trap cleanup EXIT

step "registering with regsvr32"
cmake/wine-run.sh regsvr32 /s "Z:$module" </dev/null

step "video capture devices"
cmake/wine-run.sh "$capture" --list-devices </dev/null

step "capabilities of \"Zintu Dobrel x64\""
cmake/wine-run.sh "$capture" --device "Zintu Dobrel x64" --list-caps </dev/null

step "capturing ${seconds} s"
snapshot=$root/build/snapshot.bmp
rm -f "$snapshot" "${snapshot%.bmp}.png"
status=0
cmake/wine-run.sh "$capture" --device "Zintu Dobrel x64" "${cap[@]}" --seconds "$seconds" \
  --snapshot "Z:$snapshot" </dev/null || status=$?
if [ -f "$snapshot" ] && command -v convert >/dev/null; then
  convert "$snapshot" "${snapshot%.bmp}.png" && echo "snapshot: ${snapshot%.bmp}.png"
fi
if [ $keep -eq 1 ]; then
  echo "the module stays registered in $WINEPREFIX (unregister: WINEPREFIX=$WINEPREFIX wine regsvr32 /u Z:$module)"
fi
if [ $status -ne 0 ]; then
  echo "run-main-job: capture failed (zd-capture exit code $status)" >&2
fi
exit $status
