#!/usr/bin/env bash
# Captures, with zd-capture through the capture graph builder, a few frames
# of one preset in each of the six pixel formats (selected with SetFormat)
# and checks what arrives: the frame count, the sample size, time stamps 0,
# ft, 2ft, ... and every frame's pixels against the preview tool's frames of
# the same preset and frame number, outside the status line. The information
# line included: it names the clock that paced the frames, so PREVIEW_DIR
# holds frames rendered for a graph with a reference clock, or without one
# when CLOCK is --no-clock (passed on to zd-capture).
#
#   capture_formats.sh WINE_RUN ZD_CAPTURE PREVIEW_DIR OUT_DIR FRAMES [--no-clock]
set -euo pipefail
wine_run=$1 capture=$2 preview=$3 out=$4 frames=$5 clock=${6:-}
. "$(dirname "$0")/compare_frames.sh"
mkdir -p "$out"

failures=0
while read -r preset format width height bytes glyph_h; do
  [ -n "$preset" ] || continue
  echo "== preset $preset: ${width}x$height $format"
  raw=$out/capture_$preset.raw
  json=$out/capture_$preset.json
  rm -f "$raw"
  status=0
  "$wine_run" "$capture" --cap $((preset - 1)) --frames "$frames" --raw "Z:$raw" --json $clock \
    >"$json" </dev/null || status=$?
  cat "$json"
  if [ $status -ne 0 ]; then
    echo "FAIL: zd-capture exited with $status" >&2
    failures=$((failures + 1))
    continue
  fi
  case $format in RG32) name=RGB32 ;; RG24) name=RGB24 ;; *) name=$format ;; esac
  problems=()
  [ "$(json_value "$json" format)" = "$name" ] || problems+=("format is not $name")
  [ "$(json_value "$json" width)" = "$width" ] || problems+=("width is not $width")
  # A positive height: RGB frames bottom-up, 4:2:2 frames top-down.
  [ "$(json_value "$json" height)" = "$height" ] || problems+=("height is not +$height")
  [ "$(json_value "$json" sample_bytes)" = "$bytes" ] || problems+=("sample size is not $bytes")
  [ "$(json_value "$json" frames)" = "$frames" ] || problems+=("not $frames frames")
  [ "$(json_value "$json" wrong_size)" = "0" ] || problems+=("samples of another size")
  [ "$(json_value "$json" first_start)" = "0" ] || problems+=("first time stamp is not 0")
  [ "$(json_value "$json" ok)" = "true" ] || problems+=("time stamps not 0, ft, 2ft, ...")
  [ "$(stat -c %s "$raw")" = "$((bytes * frames))" ] || problems+=("raw file size")
  if [ ${#problems[@]} -eq 0 ] &&
     ! compare_frames "$preview/preview_$preset.raw" "$raw" "$format" "$height" "$bytes" \
       "$glyph_h" "$frames"; then
    problems+=("pixels differ from the preview")
  fi
  if [ ${#problems[@]} -ne 0 ]; then
    printf 'FAIL: preset %s %s: %s\n' "$preset" "$format" "${problems[*]}" >&2
    failures=$((failures + 1))
  fi
done <"$preview/manifest.txt"

[ "$(grep -c . "$preview/manifest.txt")" -eq 6 ] || { echo "FAIL: not six formats" >&2; exit 1; }
if [ $failures -ne 0 ]; then
  echo "$failures of 6 formats failed" >&2
  exit 1
fi
echo "all six pixel formats captured as previewed (${clock:-with the graph clock})"
