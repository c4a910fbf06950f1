#!/usr/bin/env bash
# The main job: build ZintuDobrel64.ax for 64-bit Windows, register it in a
# Wine prefix, capture a few seconds from "Zintu Dobrel x64" with zd-capture
# the way capture applications do, print the report and save a snapshot; then
# the whole loop: record a few seconds with the Windows ffmpeg (frame code on),
# read the recording back with zd-analyse, print its verdict and write its web
# page beside the snapshot.
#
#   tools/run-main-job.sh [--seconds S] [--cap N] [--record-seconds S]
#                         [--keep-registered] [--build-dir DIR] [--prefix DIR]
#
# The build goes to build/windows (the windows preset) and the Wine prefix is
# build/main-job-prefix unless --build-dir and --prefix name others; zd-analyse
# is built natively in build/native. The prefix is a copy of the tests'
# template prefix build/wineprefix (made first when missing or made with other
# Wine packages), which the job itself never registers anything in.
#
# Exits non-zero when a step fails: zd-capture's exit code when the capture
# check fails, else zd-analyse's when the recording shows anomalies (see the
# exit codes in docs/zd-capture.md and docs/zd-analyse.md).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=5
record_seconds=3
cap=()
keep=0
build=build/windows
prefix=$root/build/main-job-prefix
while [ $# -gt 0 ]; do
  case $1 in
    --seconds) seconds=$2; shift 2 ;;
    --cap) cap=(--cap "$2"); shift 2 ;;
    --record-seconds) record_seconds=$2; shift 2 ;;
    --keep-registered) keep=1; shift ;;
    --build-dir) build=$2; shift 2 ;;
    --prefix) prefix=$(mkdir -p "$2" && cd "$2" && pwd); shift 2 ;;
    -h|--help) sed -n '2,20p' "$0"; exit 0 ;;
    *) echo "run-main-job: unknown argument $1" >&2; exit 1 ;;
  esac
done

step() { printf '\n== %s\n' "$*"; }

# Prerequisites, installed only when missing.
# The native build (zd-analyse) configures the whole native tree, tests included.
packages=(cmake ninja-build g++ g++-mingw-w64-x86-64 wine wine64 googletest libgtest-dev
          libgmock-dev libbenchmark-dev libpng-dev imagemagick ffmpeg pkg-config
          libavformat-dev libavcodec-dev libswscale-dev libavutil-dev libturbojpeg0-dev
          libjpeg-dev nasm dpkg-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
command -v npm >/dev/null || missing+=(npm)
if [ ${#missing[@]} -gt 0 ]; then
  step "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# libjpeg-turbo for the module (MJPG), cross-built once into build/deps.
step "libjpeg-turbo for x86_64-w64-mingw32 in build/deps"
cmake/libjpeg-turbo.sh x86_64-w64-mingw32

step "building the windows preset in $build"
cmake --preset windows -B "$build"
cmake --build "$build"
build=$(cd "$build" && pwd)

step "building zd-analyse natively in build/native"
cmake --preset native >/dev/null
cmake --build build/native --target zd-analyse
analyse=$root/build/native/tools/analyse/zd-analyse

# The Windows build of ffmpeg, a third-party capture client (as in .ci/run).
ffmpeg_exe=$root/build/npm/node_modules/@ffmpeg-installer/win32-x64/ffmpeg.exe
if [ ! -f "$ffmpeg_exe" ]; then
  step "installing the Windows ffmpeg into build/npm"
  mkdir -p build/npm
  npm install --prefix build/npm --force --no-audit --no-fund --loglevel=error @ffmpeg-installer/win32-x64
fi

template=$root/build/wineprefix
step "Wine prefix $prefix (a copy of $template)"
export WINEPREFIX=$prefix
export ZD_WINEPREFIX=$WINEPREFIX
ZD_WINE_TEMPLATE=$template cmake/wine-prefix.sh </dev/null >/dev/null 2>&1

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
  # The shipped settings again (the recording switched the frame code on).
  cp "$root/assets/ZintuDobrel.ini" "$module_dir/" 2>/dev/null || true
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
if [ $status -ne 0 ]; then
  echo "run-main-job: capture failed (zd-capture exit code $status)" >&2
fi

# The whole loop. The settings beside the registered module get frame_code=2
# for the recording (they are read whenever a filter is created, so no new
# registration is needed); the shipped ones are put back at the end. The
# recording has the device's default format (the first enabled preset), stored
# as BGRA rawvideo in NUT: the AVI muxer repeats frames to fill late arrivals,
# which would be the recording's own repeats.
step "recording ${record_seconds} s from \"Zintu Dobrel x64\" with ffmpeg.exe (frame code on)"
sed 's/^\[MAIN\]/[MAIN]\nframe_code=2/' assets/ZintuDobrel.ini >"$module_dir/ZintuDobrel.ini"
recording=$root/build/recording.nut
report=$root/build/report.html
rm -f "$recording" "$report"
record_status=0
cmake/wine-run.sh "$ffmpeg_exe" -hide_banner -loglevel error -f dshow -rtbufsize 500M \
  -i "video=Zintu Dobrel x64" -t "$record_seconds" -vsync passthrough -c:v rawvideo -pix_fmt bgra \
  -y "Z:$recording" </dev/null || record_status=$?
cp assets/ZintuDobrel.ini "$module_dir/"
if [ $record_status -ne 0 ] || [ ! -s "$recording" ]; then
  echo "run-main-job: ffmpeg.exe could not record (exit code $record_status)" >&2
  [ $status -ne 0 ] || status=$((record_status ? record_status : 1))
else
  step "reading the recording back: zd-analyse $recording"
  analyse_status=0
  "$analyse" --ini assets/ZintuDobrel.ini --html "$report" "$recording" || analyse_status=$?
  [ -f "$report" ] && echo "report: $report (open it in a browser; beside ${snapshot%.bmp}.png)"
  if [ $analyse_status -ne 0 ]; then
    echo "run-main-job: zd-analyse exit code $analyse_status" >&2
    [ $status -ne 0 ] || status=$analyse_status
  fi
fi

if [ $keep -eq 1 ]; then
  echo "the module stays registered in $WINEPREFIX (unregister: WINEPREFIX=$WINEPREFIX wine regsvr32 /u Z:$module)"
fi
exit $status
