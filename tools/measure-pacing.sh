#!/usr/bin/env bash
# Pacing measurement under Wine: zd-capture for a while at 1920x1080 60 fps,
# with the graph's reference clock and without one
# (frames late on arrival, arrival interval p99 against 16.67 ms, processor
# share), then the unpaced preset (the shortest frame time) for the rate a
# capture graph with a null renderer sustains. Reports figures; asserts
# nothing.
#
#   tools/measure-pacing.sh [BUILD_DIR] [SECONDS]
#
# BUILD_DIR is a Windows build (default build/windows) holding
# server/ZintuDobrel64.ax and tools/capture/zd-capture.exe. The module is
# registered in a Wine prefix of its own (BUILD_DIR/pacingprefix) and
# unregistered at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(cd "${1:-build/windows}" && pwd)
seconds=${2:-60}
capture=$build/tools/capture/zd-capture.exe
module_dir=$build/pacing-module
module=$module_dir/ZintuDobrel64.ax
export ZD_WINEPREFIX=$build/pacingprefix
export WINEPREFIX=$ZD_WINEPREFIX

mkdir -p "$module_dir"
cp "$build/server/ZintuDobrel64.ax" "$module_dir/"
cp assets/ZintuDobrel.ini assets/*.bmp "$module_dir/"
cleanup() {
  cmake/wine-run.sh regsvr32 /u /s "Z:$module" </dev/null >/dev/null 2>&1 || true
  wineserver -k </dev/null >/dev/null 2>&1 || true
}
trap cleanup EXIT
cmake/wine-run.sh regsvr32 /s "Z:$module" </dev/null

caps=$(cmake/wine-run.sh "$capture" --list-caps --json </dev/null)
# The first capability matching a size and a frame time rule.
pick() {
  echo "$caps" | grep -o '"index": [0-9]*, "width": [0-9]*, "height": [0-9]*, "format": "[^"]*", "frame_time": [0-9]*' |
    sed 's/"[a-z_]*": //g; s/,//g; s/"//g' | awk "$1" | head -n 1
}

echo "== 1920x1080 at 60 fps for $seconds s"
for line in "$(pick '$2 == 1920 && $3 == 1080 && $5 == 166666 && $4 == "YUY2" { print $1, $4 }')" \
            "$(pick '$2 == 1920 && $3 == 1080 && $5 == 166666 && $4 == "RGB32" { print $1, $4 }')"; do
  [ -n "$line" ] || continue
  read -r index format <<<"$line"
  # With the graph's clock the null renderer holds each sample until its
  # time stamp is due; without one, arrivals follow the filter's own pacing.
  for clock in "" --no-clock; do
    echo "-- capability $index ($format) ${clock:-with the graph clock}"
    cmake/wine-run.sh "$capture" --cap "$index" --seconds "$seconds" $clock </dev/null || true
  done
done

echo "== unpaced: the shortest frame time, for 10 s"
line=$(echo "$caps" | grep -o '"index": [0-9]*, [^}]*"frame_time": [0-9]*' |
  sed 's/"index": \([0-9]*\).*"frame_time": \([0-9]*\)/\2 \1/' | sort -n | head -n 1)
read -r frame_time index <<<"$line"
echo "-- capability $index (frame time $frame_time)"
for clock in "" --no-clock; do
  echo "-- ${clock:-with the graph clock}"
  cmake/wine-run.sh "$capture" --cap "$index" --seconds 10 $clock </dev/null || true
done
