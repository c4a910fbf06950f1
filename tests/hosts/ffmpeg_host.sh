#!/usr/bin/env bash
# The Windows build of ffmpeg as a third-party capture host, under Wine.
#
#   ffmpeg_host.sh MODE WINE_RUN FFMPEG ZD_CAPTURE PREVIEW_DIR OUT_DIR FRAMES [DEVICE]
#
# DEVICE is the device's name, "Zintu Dobrel x64" unless given.
# MODE list_devices: "-list_devices" names the device.
# MODE list_options: "-list_options" shows every capability of the device
#   (read with zd-capture --list-caps) with its ffmpeg pixel format, size and
#   rate.
# MODE capture: for each pixel format, FRAMES frames recorded into AVI with
#   -c:v rawvideo (32-bit RGB as bgra: ffmpeg cannot store bgr0 in AVI); the
#   native ffprobe reads that many frames of the right size and pixel format,
#   and the frames, decoded by the native ffmpeg, equal the preview tool's
#   outside the status line. ffmpeg's dshow input runs its graph with the
#   default reference clock, so with auto_clock set its frames name "Stream
#   Time": PREVIEW_DIR holds frames rendered for a graph with a clock.
set -euo pipefail
mode=$1 wine_run=$2 ffmpeg=$3 capture=$4 preview=$5 out=$6 frames=$7
device=${8:-Zintu Dobrel x64}
. "$(dirname "$0")/compare_frames.sh"
mkdir -p "$out"

need_windows_ffmpeg "$ffmpeg"

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
    # ffmpeg selects a capability whose frame time equals 10^7 * den / num of
    # the requested rate, and reduces fractions with large terms: a rate with
    # two decimals (30, 29.97, 59.94) names each shipped frame time exactly.
    rate=$(awk -v ft="$ft" 'BEGIN { r = int(1e9 / ft + 0.5);
      if (int(1e9 / r) == ft) printf "%g", r / 100; else printf "10000000/%d", ft }')
    echo "-framerate $rate"
    # ffmpeg cannot store bgr0 in AVI: 32-bit frames are recorded as bgra.
    stored=$pf
    [ "$pf" = bgr0 ] && stored=bgra
    # ffmpeg 4.1's default real-time buffer (3041280 bytes) holds less than
    # two 720p frames: on a busy machine it drops one ("real-time buffer too
    # full") and the recorded frames no longer line up with the preview's.
    if ! "$wine_run" "$ffmpeg" -hide_banner -loglevel error -f dshow -rtbufsize 200M \
        -pixel_format "$pf" -video_size "${width}x$height" -framerate "$rate" -i "video=$device" \
        -frames:v "$frames" -vsync passthrough -c:v rawvideo -pix_fmt "$stored" -y "Z:$avi" </dev/null; then
      echo "FAIL: ffmpeg could not record $pf" >&2
      failures=$((failures + 1))
      continue
    fi
    probe=$(ffprobe -v error -count_frames -select_streams v:0 \
      -show_entries stream=width,height,pix_fmt,nb_read_frames -of csv=p=0 "$avi")
    echo "ffprobe: $probe"
    if [ "$probe" != "$width,$height,$stored,$frames" ]; then
      echo "FAIL: expected $width,$height,$stored,$frames" >&2
      failures=$((failures + 1))
      continue
    fi
    # Back to the source's own layout, RGB bottom-up, and compared with the
    # preview; 32-bit frames by their B, G, R bytes only (the fourth byte
    # became alpha on the way).
    expected=$preview/preview_$preset.raw
    compare_format=$format compare_bytes=$bytes decode_fmt=$pf flip=()
    case $format in RG24|RG32) flip=(-vf vflip) ;; esac
    if [ "$format" = RG32 ]; then
      expected=$out/preview_${preset}_bgr24.raw
      ffmpeg -v error -f rawvideo -pix_fmt bgr0 -s "${width}x$height" -i "$preview/preview_$preset.raw" \
        -f rawvideo -pix_fmt bgr24 -y "$expected" </dev/null
      compare_format=RG24 compare_bytes=$((width * 3 * height)) decode_fmt=bgr24
    fi
    # Every stored frame once: on a loaded machine the recorded time stamps
    # have gaps, which a constant-rate decode would fill with copies.
    ffmpeg -v error -i "$avi" "${flip[@]}" -vsync passthrough -f rawvideo -pix_fmt "$decode_fmt" \
      -y "$raw" </dev/null
    if ! compare_frames "$expected" "$raw" "$compare_format" "$height" "$compare_bytes" \
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
