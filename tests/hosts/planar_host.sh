#!/usr/bin/env bash
# NV12 and I420 through real hosts under Wine, from a module folder of its
# own: the shipped settings with their planar presets switched on and the
# frame code on (registered in the Wine prefix that ZD_WINEPREFIX names, and
# unregistered at the end).
# - zd-capture lists the planar capabilities (size, format, w * h * 3 / 2
#   bytes a sample) and captures each with --verify: every frame (and, for
#   the interlaced one, every field) carries a valid code, in order.
# - Without the code, zd-capture's frames of each planar preset equal the
#   native preview tool's, plane by plane, outside the status line: the
#   module's bytes are the same in the 64- and the 32-bit build.
# - The Windows ffmpeg records 720p with -pixel_format nv12 and with
#   -pixel_format yuv420p as rawvideo in NUT; the native ffmpeg decodes the
#   recording, and every frame's code reads, frame numbers rising.
#
#   planar_host.sh WINE_RUN ZD_CAPTURE FFMPEG MODULE_DIR PLANAR_DIR MODULE_FILE DEVICE SCAN OUT_DIR
#                  ZD_PREVIEW
set -euo pipefail
wine_run=$1 capture=$2 ffmpeg=$3 module=$4 planar=$5 module_file=$6 device=$7 scan=$8 out=$9
preview=${10}
frames=${ZD_PLANAR_FRAMES:-30}
mkdir -p "$planar" "$out"

# The module and bitmaps as shipped; the settings with every preset that is
# shipped switched off (the planar ones) switched on, and the frame code on.
cp "$module/$module_file" "$module"/*.bmp "$planar"/
sed -e 's/^enable=0/enable=1/' -e 's/^\[MAIN\]/[MAIN]\nframe_code=1/' "$module/ZintuDobrel.ini" \
  >"$planar/ZintuDobrel.ini"

# shellcheck source=host_lib.sh
. "$(dirname "$0")/host_lib.sh"
register_module "$wine_run" regsvr32 "Z:$planar/$module_file"

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# The planar capabilities: index width height format frame_time.
"$wine_run" "$capture" --list-caps --json </dev/null >"$out/caps.json"
grep -o '"index": [0-9]*, "width": [0-9]*, "height": -*[0-9]*, "format": "\(NV12\|I420\)", "frame_time": [0-9]*' \
  "$out/caps.json" | sed 's/"[a-z_]*": //g; s/,//g; s/"//g' >"$out/planar_caps.txt" || true
cat "$out/planar_caps.txt"
[ "$(grep -c NV12 "$out/planar_caps.txt")" -ge 1 ] || fail "zd-capture lists no NV12 capability"
[ "$(grep -c I420 "$out/planar_caps.txt")" -ge 1 ] || fail "zd-capture lists no I420 capability"

# zd-capture over each of them.
while read -r index w h format ft; do
  json=$out/verify_$index.json
  status=0
  "$wine_run" "$capture" --cap "$index" --frames "$frames" --verify --json </dev/null \
    >"$json" || status=$?
  echo "== capability $index: ${w}x$h $format: exit $status"
  grep '"frame_code"' "$json" || true
  [ $status -eq 0 ] || fail "capability $index: zd-capture exited with $status"
  grep -q '"frame_code": {"ok": true' "$json" || fail "capability $index: the frame codes do not check out"
  [ "$(json_value "$json" format)" = "$format" ] || fail "capability $index: format is not $format"
  [ "$(json_value "$json" sample_bytes)" = "$((w * h * 3 / 2))" ] ||
    fail "capability $index: samples are not $((w * h * 3 / 2)) bytes"
  [ "$(json_value "$json" frames)" = "$frames" ] || fail "capability $index: not $frames frames"
  [ "$(json_value "$json" decoded)" = "$frames" ] ||
    fail "capability $index: not every frame carried a valid code"
done <"$out/planar_caps.txt"
# The interlaced one (1080i I420): its field codes as well.
interlaced=$(awk '$3 == 1080 && $4 == "I420" { print $1; exit }' "$out/planar_caps.txt")
[ -n "$interlaced" ] && [ "$(json_value "$out/verify_$interlaced.json" interlaced)" = true ] ||
  fail "the interlaced I420 capability gave no field codes"

# The Windows ffmpeg, 720p in both planar formats.
if [ -f "$ffmpeg" ]; then
  for pair in NV12:nv12 I420:yuv420p; do
    format=${pair%%:*} pf=${pair#*:}
    read -r index w h _ ft < <(awk -v f="$format" '$2 == 1280 && $4 == f' "$out/planar_caps.txt")
    rec=$out/ffmpeg_$pf.nut
    rm -f "$rec"
    echo "== ffmpeg -pixel_format $pf: capability $index, ${w}x$h $format"
    if ! "$wine_run" "$ffmpeg" -hide_banner -loglevel error -f dshow -rtbufsize 100M \
        -pixel_format "$pf" -video_size "${w}x$h" -framerate 30 -i "video=$device" \
        -frames:v "$frames" -vsync passthrough -c:v rawvideo -pix_fmt "$pf" -f nut -y "Z:$rec" \
        </dev/null; then
      fail "ffmpeg could not record $pf"
      continue
    fi
    probe=$(ffprobe -v error -count_frames -select_streams v:0 \
      -show_entries stream=width,height,pix_fmt,nb_read_frames -of csv=p=0 "$rec")
    echo "ffprobe: $probe"
    [ "$probe" = "$w,$h,$pf,$frames" ] || fail "$pf: expected $w,$h,$pf,$frames"
    ffmpeg -v error -i "$rec" -vsync passthrough -f rawvideo -pix_fmt gray - </dev/null |
      "$scan" "$w" "$h" >"$out/scan_$pf.csv"
    awk -F, -v n="$frames" -v pf="$pf" '
      $2 == "frame" { seen++; if ($3 != "decoded") bad++; else if (seen > 1 && $5 <= last) back++; last = $5 }
      END { printf "%s: %d frames, %d without a code, %d out of order\n", pf, seen, bad, back;
            exit !(seen == n && bad == 0 && back == 0) }' "$out/scan_$pf.csv" ||
      fail "$pf: not every recorded frame's code read in order"
    rm -f "$rec"
  done
elif [ -n "${CI:-}" ]; then
  fail "the Windows ffmpeg is missing: $ffmpeg"
else
  echo "note: the Windows ffmpeg is not installed ($ffmpeg): its part is left out"
fi

# The frames without the code against the preview's. Compared: the luma rows
# below the status line, and the chroma rows whose source rows all lie below
# it (two chroma rows more than half the glyph height).
glyph_height() { echo $(($(od -An -t d4 -j 22 -N 4 "$1" | tr -d ' -') / 16)); }
# same_region A B OFFSET LENGTH FRAME_BYTES FRAMES
same_region() {
  local k
  for ((k = 0; k < $6; k++)); do
    cmp -s -n "$4" "$1" "$2" $((k * $5 + $3)) $((k * $5 + $3)) || return 1
  done
}
sed -e 's/^enable=0/enable=1/' "$module/ZintuDobrel.ini" >"$planar/ZintuDobrel.ini"
while read -r index w h format ft; do
  preset=$((index + 1)) bytes=$((w * h * 3 / 2)) n=3
  font=$(sed -n "/^\[PRESET_$preset\]/,/^\[/s/^font=//p" "$planar/ZintuDobrel.ini" | tr -d '\r')
  g=$(glyph_height "$planar/${font:-font.bmp}")
  raw=$out/capture_$preset.raw
  rm -f "$raw"
  "$wine_run" "$capture" --cap "$index" --frames $n --raw "Z:$raw" </dev/null >/dev/null ||
    { fail "preset $preset: zd-capture without the code"; continue; }
  "$preview" --ini "$planar/ZintuDobrel.ini" --preset "$preset" --frames $n --format raw \
    --out "$out/preview_$preset.raw" >/dev/null
  skip=$((g / 2 + 2))
  if [ "$format" = NV12 ]; then
    regions="$((g * w)) $((w * (h - g))) $((w * h + skip * w)) $((w * (h / 2 - skip)))"
  else
    q=$((w * h / 4)) cw=$((w / 2))
    regions="$((g * w)) $((w * (h - g))) $((w * h + skip * cw)) $((q - skip * cw))"
    regions="$regions $((w * h + q + skip * cw)) $((q - skip * cw))"
  fi
  set -- $regions
  while [ $# -gt 0 ]; do
    same_region "$out/preview_$preset.raw" "$raw" "$1" "$2" "$bytes" $n ||
      { fail "preset $preset $format: bytes $1 to $(($1 + $2)) differ from the preview"; break; }
    shift 2
  done
  echo "preset $preset ${w}x$h $format: $n frames as previewed"
  rm -f "$raw" "$out/preview_$preset.raw"
done <"$out/planar_caps.txt"

[ $failures -eq 0 ] || { echo "$failures planar checks failed" >&2; exit 1; }
echo "NV12 and I420 listed, captured and recorded with every frame's code"
