#!/usr/bin/env bash
# The frame code through real hosts under Wine, from a module folder of its
# own whose settings turn the code on (registered in the Wine prefix that
# ZD_WINEPREFIX names, and unregistered at the end):
# - zd-capture --verify: 10-second captures in all six pixel formats and of
#   an interlaced preset; every frame (and field) carries a valid code, in
#   order, with the sample's time and the selected capability.
# - The Windows ffmpeg records 1080p as rawvideo in NUT (a time stamp per
#   frame; AVI would repeat frames to fill late arrivals); the recording decodes
#   exactly, and so does 99.9 % of it re-encoded natively with libx264 CRF 28
#   at three sizes (frame_code_recordings.sh).
#
#   frame_code_host.sh WINE_RUN ZD_CAPTURE FFMPEG MODULE_DIR CODED_DIR SCAN RECORDINGS_SH OUT_DIR
set -euo pipefail
wine_run=$1 capture=$2 ffmpeg=$3 module=$4 coded=$5 scan=$6 recordings=$7 out=$8
device="Zintu Dobrel x64"
seconds=${ZD_FRAME_CODE_SECONDS:-10}
mkdir -p "$coded" "$out"

# The module and bitmaps as shipped, the settings with frame_code=1.
cp "$module"/ZintuDobrel64.ax "$module"/*.bmp "$coded"/
sed 's/^\[MAIN\]/[MAIN]\nframe_code=1/' "$module/ZintuDobrel.ini" >"$coded/ZintuDobrel.ini"
grep -q '^frame_code=1' "$coded/ZintuDobrel.ini"

# shellcheck source=host_lib.sh
. "$(dirname "$0")/host_lib.sh"
register_module "$wine_run" regsvr32 "Z:$coded/ZintuDobrel64.ax"

# The first capability of each pixel format (and 480i), by zd-capture's listing.
"$wine_run" "$capture" --list-caps --json </dev/null >"$out/caps.json"
pick() {  # format [height-filter]
  grep -o '"index": [0-9]*, "width": [0-9]*, "height": [0-9]*, "format": "'"$1"'"' "$out/caps.json" |
    sed 's/[^0-9 ]//g' | awk -v h="${2:-0}" 'h == 0 || $3 == h { print $1; exit }'
}
failures=0
for format in RGB32 RGB24 YUY2 YVYU UYVY HDYC; do
  cap=$(pick "$format")
  runs="$cap"
  # The first interlaced preset, 480i YUY2: its field codes as well.
  [ "$format" = YUY2 ] && runs="$cap 7"
  for index in $runs; do
    json=$out/verify_$index.json
    status=0
    "$wine_run" "$capture" --cap "$index" --seconds "$seconds" --verify --json </dev/null \
      >"$json" || status=$?
    echo "== capability $index ($format): exit $status"
    grep '"frame_code"' "$json" || true
    if [ $status -ne 0 ] || [ "$(json_value "$json" decoded)" != "$(json_value "$json" frames)" ] ||
       [ "$(json_value "$json" frames)" -lt $((seconds * 20)) ]; then
      echo "FAIL: capability $index: not every frame carried a valid code" >&2
      failures=$((failures + 1))
    fi
    if [ "$index" = 7 ] && [ "$(json_value "$json" interlaced)" != true ]; then
      echo "FAIL: capability 7 is interlaced but no field code was read" >&2
      failures=$((failures + 1))
    fi
  done
done

# 1080p30 YVYU recorded by the Windows ffmpeg, with a buffer of many frames.
cap=$(pick YVYU 1080)
frame_time=$(grep -o "\"index\": $cap, [^}]*" "$out/caps.json" | grep -o '"frame_time": [0-9]*' | sed 's/.*: //')
rec=$out/ffmpeg_1080p.nut
rm -f "$rec"
echo "== ffmpeg: capability $cap, 1920x1080 YVYU, frame time $frame_time"
if ! "$wine_run" "$ffmpeg" -hide_banner -loglevel error -f dshow -rtbufsize 500M \
    -pixel_format yvyu422 -video_size 1920x1080 -framerate 30 -i "video=$device" \
    -frames:v $((seconds * 30)) -vsync passthrough -c:v rawvideo -pix_fmt yvyu422 -f nut -y "Z:$rec" \
    </dev/null; then
  echo "FAIL: ffmpeg could not record 1080p" >&2
  exit 1
fi
if ! bash "$recordings" file "$scan" "$out/ffmpeg_1080p" "$rec" "$frame_time"; then
  failures=$((failures + 1))
fi
rm -f "$rec" "$out/ffmpeg_1080p/recode.mp4"

[ $failures -eq 0 ] || { echo "$failures frame-code checks failed" >&2; exit 1; }
echo "every capture carried a valid frame code in every frame"
