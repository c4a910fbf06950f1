#!/usr/bin/env bash
# The Windows build of ffmpeg as a third-party capture host, under Wine.
#
#   ffmpeg_host.sh MODE WINE_RUN FFMPEG ZD_CAPTURE PREVIEW_DIR OUT_DIR FRAMES
#
# MODE list_devices: "-list_devices" names "Zintu Dobrel x64".
# MODE list_options: "-list_options" shows every capability of the device
#   (read with zd-capture --list-caps) with its ffmpeg pixel format, size and
#   rate.
# MODE capture: for each pixel format, FRAMES frames recorded into AVI with
#   -c:v rawvideo; the native ffprobe reads that many frames of the right
#   size and pixel format, and the frames, decoded by the native ffmpeg,
#   equal the preview tool's outside the status line.
set -euo pipefail
mode=$1 wine_run=$2 ffmpeg=$3 capture=$4 preview=$5 out=$6 frames=$7
device="Zintu Dobrel x64"
. "$(dirname "$0")/compare_frames.sh"
mkdir -p "$out"

if [ ! -f "$ffmpeg" ]; then
  echo "FAIL: the Windows ffmpeg is missing: $ffmpeg" >&2
  echo "(npm install --prefix build/npm --force @ffmpeg-installer/win32-x64)" >&2
  exit 1
fi

# ffmpeg's name of a source pixel format.
pix_fmt() {
  case $1 in
    RGB32|RG32) echo bgr0 ;; RGB24|RG24) echo bgr24 ;; YUY2) echo yuyv422 ;;
    YVYU) echo yvyu422 ;; UYVY|HDYC) echo uyvy422 ;; *) echo "unknown-$1" ;;
  esac
}

# The device's capabilities, one line each: index width height format frame_time.
capabilities() {
  "$wine_run" "$capture" --list-caps --json </dev/null |
    grep -o '"index": [0-9]*, "width": [0-9]*, "height": -*[0-9]*, "format": "[^"]*", "frame_time": [0-9]*' |
    sed 's/"[a-z_]*": //g; s/,//g; s/"//g'
}

case $mode in
list_devices)
  log=$out/list_devices.txt
  "$wine_run" "$ffmpeg" -hide_banner -f dshow -list_devices true -i dummy </dev/null >"$log" 2>&1 || true
  cat "$log"
  grep -q "\"$device\"" "$log" || { echo "FAIL: \"$device\" not listed" >&2; exit 1; }
  ;;

list_options)
  log=$out/list_options.txt
  "$wine_run" "$ffmpeg" -hide_banner -f dshow -list_options true -i "video=$device" \
    </dev/null >"$log" 2>&1 || true
  cat "$log"
  # What ffmpeg shows: pixel format, size and rate (two decimals) per line.
  grep -o 'pixel_format=[a-z0-9]* *min s=[0-9]*x[0-9]* fps=[0-9.e+]*' "$log" |
    sed 's/pixel_format=//; s/ *min s=/ /; s/ fps=/ /' |
    awk '{ printf "%s %s %.2f\n", $1, $2, $3 }' | sort >"$out/options_ffmpeg.txt"
  capabilities | while read -r index w h format ft; do
    awk -v p="$(pix_fmt "$format")" -v s="${w}x$h" -v ft="$ft" \
      'BEGIN { printf "%s %s %.2f\n", p, s, 10000000 / ft }'
  done | sort >"$out/options_device.txt"
  count=$(grep -c . "$out/options_device.txt" || true)
  [ "$count" -gt 0 ] || { echo "FAIL: zd-capture found no capabilities" >&2; exit 1; }
  if ! diff -u "$out/options_device.txt" "$out/options_ffmpeg.txt"; then
    echo "FAIL: ffmpeg's options differ from the $count capabilities" >&2
    exit 1
  fi
  echo "ffmpeg lists all $count capabilities"
  ;;

capture)
  declare -A frame_time
  while read -r index w h format ft; do frame_time[$((index + 1))]=$ft; done < <(capabilities)
  failures=0
  while read -r preset format width height bytes glyph_h; do
    [ -n "$preset" ] || continue
    pf=$(pix_fmt "$format")
    ft=${frame_time[$preset]:-}
    echo "== preset $preset: ${width}x$height $format as $pf, frame time $ft"
    [ -n "$ft" ] || { echo "FAIL: no capability $preset" >&2; failures=$((failures + 1)); continue; }
    avi=$out/ffmpeg_$preset.avi
    raw=$out/ffmpeg_$preset.raw
    rm -f "$avi" "$raw"
    # The rate as the exact fraction 10^7 / frame_time selects the capability.
    if ! "$wine_run" "$ffmpeg" -hide_banner -loglevel error -f dshow -pixel_format "$pf" \
        -video_size "${width}x$height" -framerate "10000000/$ft" -i "video=$device" \
        -frames:v "$frames" -vsync passthrough -c:v rawvideo -y "Z:$avi" </dev/null; then
      echo "FAIL: ffmpeg could not record $pf" >&2
      failures=$((failures + 1))
      continue
    fi
    probe=$(ffprobe -v error -count_frames -select_streams v:0 \
      -show_entries stream=width,height,pix_fmt,nb_read_frames -of csv=p=0 "$avi")
    echo "ffprobe: $probe"
    IFS=, read -r p_w p_h p_fmt p_frames <<<"$probe"
    # A 32-bit RGB AVI stream reads back as bgra: the same bytes.
    case $pf:$p_fmt in bgr0:bgra) p_fmt=bgr0 ;; esac
    if [ "$p_w" != "$width" ] || [ "$p_h" != "$height" ] || [ "$p_fmt" != "$pf" ] ||
       [ "$p_frames" != "$frames" ]; then
      echo "FAIL: expected $width,$height,$pf,$frames" >&2
      failures=$((failures + 1))
      continue
    fi
    # Back to the source's own layout: raw bytes, RGB bottom-up.
    flip=()
    case $format in RG24|RG32) flip=(-vf vflip) ;; esac
    ffmpeg -v error -i "$avi" "${flip[@]}" -f rawvideo -pix_fmt "$(pix_fmt "$format" | sed 's/bgr0/bgra/')" \
      -y "$raw" </dev/null
    if ! compare_frames "$preview/preview_$preset.raw" "$raw" "$format" "$height" "$bytes" \
        "$glyph_h" "$frames"; then
      echo "FAIL: preset $preset $format: pixels differ from the preview" >&2
      failures=$((failures + 1))
    fi
  done <"$preview/manifest.txt"
  if [ $failures -ne 0 ]; then
    echo "$failures formats failed" >&2
    exit 1
  fi
  echo "ffmpeg recorded every pixel format as previewed"
  ;;

*)
  echo "unknown mode $mode" >&2
  exit 2
  ;;
esac
