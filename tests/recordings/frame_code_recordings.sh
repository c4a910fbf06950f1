#!/usr/bin/env bash
# Coded frames through what recordings do to them, read back with the
# frame-code decoder (frame_code_scan).
#
#   frame_code_recordings.sh preview SCAN OUT_DIR PREVIEW INI PRESET FRAMES FRAME_TIME
#     FRAMES frames of a preset (of that frame time), rendered by zd-preview
#     with the code on.
#   frame_code_recordings.sh file SCAN OUT_DIR RECORDING FRAME_TIME
#     A lossless recording of the filter's frames (the Windows ffmpeg's), in a
#     container with a time stamp per frame (NUT): an AVI fills late arrivals
#     with empty chunks, which decode as repeated frames.
#
# The source, read losslessly, must decode completely and exactly: every
# frame's code read, one stream, frame numbers rising (from 0 one by one for
# the preview), each time stamp frame number x frame time; interlaced sources
# also every field's code. The source is then encoded with libx264 at CRF 28
# in yuv420p and read at full size, at half size and at 1280x720: at least
# 99.9 % of the frames' codes must be read, and every code read must be the
# one the lossless source had at that frame: no misread.
set -euo pipefail
mode=$1 scan=$2 out=$3
shift 3
mkdir -p "$out"
mp4=$out/recode.mp4
ref=$out/lossless.csv
rm -f "$mp4" "$ref"

# Width, height and interlacing of a video file.
probe() {
  ffprobe -v error -select_streams v:0 -show_entries stream=width,height,field_order \
    -of csv=p=0 "$1"
}

case $mode in
preview)
  preview=$1 ini=$2 preset=$3 frames=$4 frame_time=$5
  line=$("$preview" --ini "$ini" --list | sed -n "${preset}p")
  size=$(echo "$line" | awk '{print $2}')
  width=${size%%x*} rest=${size#*x} height=${rest%[pi]}
  scan_args=()
  [ "${rest: -1}" = i ] && scan_args=(--fields)
  fifo=$out/frames.y4m
  rm -f "$fifo"
  mkfifo "$fifo"
  "$preview" --ini "$ini" --preset "$preset" --frame-code 1 --frames "$frames" --format y4m \
    --out "$fifo" >/dev/null &
  source=$fifo
  consecutive=1
  ;;
file)
  source=$1 frame_time=$2
  IFS=, read -r width height field_order < <(probe "$source")
  scan_args=()
  case ${field_order:-progressive} in progressive | unknown) ;; *) scan_args=(--fields) ;; esac
  consecutive=0
  ;;
*)
  echo "unknown mode $mode" >&2
  exit 2
  ;;
esac
echo "source: ${width}x$height, frame time $frame_time ${scan_args[*]}"

# One read of the source: the x264 recording and the lossless luma for the scan,
# frame for frame (no frame dropped or repeated to keep a constant rate).
ffmpeg -v error -y -i "$source" -vsync passthrough -c:v libx264 -crf 28 -pix_fmt yuv420p "$mp4" \
  -f rawvideo -pix_fmt gray - </dev/null | "$scan" "$width" "$height" "${scan_args[@]}" >"$ref"
wait

# The lossless source: complete and exact.
awk -F, -v ft="$frame_time" -v consecutive=$consecutive '
  $2 != "frame" { fields++; if ($3 == "decoded") fields_read++; next }
  { frames++ }
  $3 != "decoded" { bad++; if (bad < 5) print "frame " $1 ": " $3; next }
  { if (id == "") id = $4
    if ($4 != id) { bad++; print "frame " $1 ": stream " $4 " after " id }
    if (consecutive && $5 != $1) { bad++; print "frame " $1 ": says frame " $5 }
    if (frames > 1 && $5 + 0 <= last) { bad++; print "frame " $1 ": number " $5 " after " last }
    if ($7 != $5 * ft) { bad++; print "frame " $1 ": time " $7 " for number " $5 }
    last = $5 + 0 }
  END {
    printf "lossless: %d frames, %d with a wrong or missing code; fields read %d of %d\n",
      frames, bad, fields_read, fields
    exit (frames > 0 && bad == 0 && fields_read == fields) ? 0 : 1 }' "$ref"

# The recording at three sizes: enough read, and nothing misread.
failures=0
for size in "${width}:${height}" "$((width / 2)):$((height / 2))" "1280:720"; do
  w=${size%%:*} h=${size##*:}
  csv=$out/recode_${w}x$h.csv
  ffmpeg -v error -i "$mp4" -vf "scale=$w:$h" -vsync passthrough -f rawvideo -pix_fmt gray - \
    </dev/null |
    "$scan" "$w" "$h" >"$csv"
  if ! awk -F, -v size="${w}x$h" '
      NR == FNR { if ($2 == "frame") code[$1] = $4 "," $5 "," $6 "," $7 "," $8 "," $9; next }
      { frames++ }
      $3 == "decoded" { read_++
        got = $4 "," $5 "," $6 "," $7 "," $8 "," $9
        if (got != code[$1]) { misread++; print size " frame " $1 ": read " got ", was " code[$1] } }
      END {
        rate = frames ? read_ / frames : 0
        printf "x264 CRF 28 at %s: %d of %d frames read (%.2f %%), %d misread\n",
          size, read_, frames, 100 * rate, misread
        exit (rate >= 0.999 && misread == 0) ? 0 : 1 }' "$ref" "$csv"; then
    failures=$((failures + 1))
  fi
done
[ $failures -eq 0 ] || { echo "FAIL: $failures sizes fell short" >&2; exit 1; }
echo "every size read at least 99.9 % of the frames, none misread"
