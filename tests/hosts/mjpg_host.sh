#!/usr/bin/env bash
# MJPG through real hosts under Wine, from a module folder of its own whose
# settings offer MJPG only (frame code on), registered in the Wine prefix that
# ZD_WINEPREFIX names and unregistered at the end:
# - zd-capture --verify: every sample decodes (libjpeg-turbo) with its frame
#   code, in order, time stamps in order, and the sample sizes vary;
# - the Windows ffmpeg asks for MJPG (-vcodec mjpeg) and copies the stream
#   into Matroska unchanged (-c copy): natively the recording is MJPG at the
#   preset's size with packets of varying size, and zd-analyse (FFmpeg's
#   decoder, in the full range the recording declares) reads every frame's
#   code in order and finds each picture close to the original.
#
#   mjpg_host.sh WINE_RUN ZD_CAPTURE FFMPEG MODULE_FILE REGSVR32 DEVICE ANALYSE ASSETS WORK
set -euo pipefail
wine_run=$1 capture=$2 ffmpeg=$3 module_file=$4 regsvr32=$5 device=$6 analyse=$7 assets=$8
work=$9
frames=40
# shellcheck source=host_lib.sh
. "$(dirname "$0")/host_lib.sh"
need_windows_ffmpeg "$ffmpeg"
module_dir=$work/module
rm -rf "$work"
mkdir -p "$module_dir"
cp "$module_file" "$assets/chart.bmp" "$assets/font.bmp" "$module_dir/"
ini=$module_dir/ZintuDobrel.ini
# 640 x 360 at the promised corner (quality 50), then 1280 x 720 at the default.
printf '[MAIN]\r\nbuff_num=2\r\npreset_num=2\r\nauto_clock=1\r\nframe_code=1\r\n' >"$ini"
printf '[PRESET_DEF]\r\nfcc=MJPG\r\nframe_time=30\r\nbmp=chart.bmp\r\nfont=font.bmp\r\n' >>"$ini"
printf 'scroll_x=2\r\nscroll_y=2\r\n' >>"$ini"
printf '[PRESET_01]\r\nenable=1\r\nw=640\r\nh=360\r\njpeg_quality=50\r\ncomment=mjpg q50\r\n' >>"$ini"
printf '[PRESET_02]\r\nenable=1\r\nw=1280\r\nh=720\r\ncomment=mjpg 720p\r\n' >>"$ini"
module=Z:$module_dir/$(basename "$module_file")

register_module "$wine_run" "$regsvr32" "$module"

fail() { echo "FAIL: $*" >&2; exit 1; }

# zd-capture over both presets.
for cap in 0 1; do
  report=$work/capture_$cap.json
  status=0
  "$wine_run" "$capture" --device "$device" --cap $cap --frames $frames --verify --json \
    </dev/null >"$report" 2>"$work/capture_$cap.err" || status=$?
  [ $status -eq 0 ] && grep -q '"timestamps": {"ok": true' "$report" &&
    grep -q '"frame_code": {"ok": true' "$report" ||
    { cat "$report" "$work/capture_$cap.err"; fail "zd-capture --cap $cap --verify: exit $status"; }
  [ "$(json_value "$report" format)" = MJPG ] || fail "cap $cap: not MJPG"
  [ "$(json_value "$report" wrong_size)" = 0 ] || fail "cap $cap: samples empty or too long"
  [ "$(json_value "$report" variable_size)" = true ] || fail "cap $cap: fixed-size samples"
  [ "$(json_value "$report" decoded)" = $frames ] || fail "cap $cap: not every code read"
  min=$(grep -o '"sample_sizes": {[^}]*}' "$report" | grep -o '"min": [0-9]*' | sed 's/.*: //')
  max=$(grep -o '"sample_sizes": {[^}]*}' "$report" | grep -o '"max": [0-9]*' | sed 's/.*: //')
  [ -n "$min" ] && [ "$min" -gt 0 ] && [ "$max" -gt "$min" ] ||
    fail "cap $cap: sample sizes do not vary (min $min, max $max)"
  echo "zd-capture cap $cap: $frames MJPG samples, codes in order, sizes $min..$max bytes"
done

# The Windows ffmpeg: MJPG asked for and copied as it comes.
rec=$work/ffmpeg_mjpg.mkv
"$wine_run" "$ffmpeg" -hide_banner -loglevel error -f dshow -rtbufsize 100M -vcodec mjpeg -video_size 640x360 \
  -i "video=$device" -frames:v $frames -c copy -y "Z:$rec" </dev/null ||
  fail "ffmpeg could not record MJPG"
stream=$(ffprobe -v error -select_streams v -show_entries stream=codec_name,width,height \
  -of csv=p=0 "$rec")
[ "$stream" = "mjpeg,640,360" ] || fail "the recording is $stream, not mjpeg,640,360"
sizes=$(ffprobe -v error -select_streams v -show_entries packet=size -of csv=p=0 "$rec" |
  sort -u | wc -l)
[ "$sizes" -gt 1 ] || fail "every packet of the recording has the same size"
"$analyse" --ini "$ini" --json "$rec" >"$work/analyse.json" ||
  { cat "$work/analyse.json"; fail "zd-analyse finds the MJPG recording not clean"; }
for key in missing repeated out_of_order unreadable; do
  [ "$(json_value "$work/analyse.json" $key)" = 0 ] || fail "zd-analyse: $key is not 0"
done
echo "ffmpeg -vcodec mjpeg -c copy: $frames frames, $sizes packet sizes, zd-analyse clean"
