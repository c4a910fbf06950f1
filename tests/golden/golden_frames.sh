#!/usr/bin/env bash
# Golden hashes of frames: every shipped preset, a few frames each, rendered
# by the preview tool (in the preset's own pixel format and in each of the six
# formats) and delivered by the module in Wine's filter graph. With
# ZD_GOLDEN_FORMATS="NV12 I420" the preview renders the presets in those
# formats only (not in their own), into a golden file of their own. The hashes were
# recorded from a build known to be right; any change to what a frame holds
# with the shipped settings shows up here as a changed hash.
#
#   golden_frames.sh preview ZD_PREVIEW INI GOLDEN_FILE WORK_DIR [--record]
#   golden_frames.sh module WINE_RUN ZD_CAPTURE ZD_PREVIEW INI GOLDEN_FILE WORK_DIR [--record]
#
# Preview frames are hashed whole (the preview's clock is simulated). Module
# frames are hashed outside the status line (the picture's top glyph row),
# whose elapsed time and measured rate differ from run to run.
set -euo pipefail
frames=3
formats=(RG32 RG24 YUY2 YVYU UYVY HDYC)
variants=(own "${formats[@]}")
if [ -n "${ZD_GOLDEN_FORMATS:-}" ]; then
  read -r -a formats <<<"$ZD_GOLDEN_FORMATS"
  variants=("${formats[@]}")
fi

# frame_bytes FORMAT WIDTH HEIGHT
frame_bytes() {
  case $1 in
    RG32) echo $(($2 * 4 * $3)) ;;
    RG24) echo $(((($2 * 3 + 3) / 4) * 4 * $3)) ;;
    NV12 | I420) echo $(($2 * $3 * 3 / 2)) ;;
    *) echo $(($2 * 2 * $3)) ;;
  esac
}

# glyph_height BMP: the font sheet's height / 16 (little-endian at offset 22).
glyph_height() {
  local h
  h=$(od -An -t d4 -j 22 -N 4 "$1" | tr -d ' ')
  [ "$h" -lt 0 ] && h=$((-h))
  echo $((h / 16))
}

# presets INI: "number width height format font" per preset of the table.
presets() {
  "$preview" --ini "$1" --list |
    sed -nE 's/^ *([0-9]+): ([0-9]+)x([0-9]+)[pi] ([A-Z0-9]+) .* font "([^"]*)".*/\1 \2 \3 \4 \5/p'
}

# hash_outside_status FILE FORMAT HEIGHT BYTES GLYPH_H: one hash of every
# frame of FILE without its top GLYPH_H picture rows (RGB is bottom-up: the
# top rows are the last of each frame).
hash_outside_status() {
  local file=$1 format=$2 height=$3 bytes=$4 glyph_h=$5
  local pitch=$((bytes / height)) count=$(stat -c %s "$file")
  local keep=$(((height - glyph_h) * pitch)) start=$((glyph_h * pitch))
  case $format in RG24 | RG32) start=0 ;; esac
  local k
  for ((k = 0; k * bytes < count; k++)); do
    tail -c +$((k * bytes + start + 1)) "$file" | head -c "$keep"
  done | sha256sum | cut -d' ' -f1
}

# finish GOLDEN ACTUAL RECORD: compares (or records) the hash list.
finish() {
  if [ "$3" = "--record" ]; then
    cp "$2" "$1"
    echo "recorded $(grep -c . "$1") hashes in $1"
    return 0
  fi
  if diff -u "$1" "$2"; then
    echo "all $(grep -c . "$2") golden hashes unchanged"
    return 0
  fi
  echo "FAIL: frames differ from the golden hashes (lines marked + are this build's)" >&2
  return 1
}

mode=$1
shift
case $mode in
  preview)
    preview=$1 ini=$2 golden=$3 work=$4 record=${5:-}
    mkdir -p "$work"
    actual=$work/preview.sha256
    : >"$actual"
    for variant in "${variants[@]}"; do
      variant_ini=$(dirname "$ini")/golden_$variant.ini
      if [ "$variant" = own ]; then
        variant_ini=$ini
      else
        # The same presets in another pixel format, beside the bitmaps.
        sed -E "s/^([[:space:]]*fcc[[:space:]]*=).*/\1$variant/I" "$ini" >"$work/golden_$variant.ini"
        cp "$work/golden_$variant.ini" "$variant_ini"
      fi
      while read -r n w h format font; do
        out=$work/frames.raw
        "$preview" --ini "$variant_ini" --preset "$n" --frames $frames --format raw \
          --out "$out" >/dev/null
        [ "$(stat -c %s "$out")" = $(($(frame_bytes "$format" "$w" "$h") * frames)) ] ||
          { echo "FAIL: preset $n ($variant) gave a wrong size" >&2; exit 1; }
        echo "$variant $n ${w}x$h $format $(sha256sum <"$out" | cut -d' ' -f1)" >>"$actual"
      done < <(presets "$variant_ini")
      [ "$variant" = own ] || rm -f "$variant_ini"
    done
    rm -f "$work/frames.raw"
    finish "$golden" "$actual" "$record"
    ;;
  module)
    wine_run=$1 capture=$2 preview=$3 ini=$4 golden=$5 work=$6 record=${7:-}
    mkdir -p "$work"
    actual=$work/module.sha256
    : >"$actual"
    while read -r n w h format font; do
      raw=$work/capture.raw
      rm -f "$raw"
      "$wine_run" "$capture" --cap $((n - 1)) --frames $frames --raw "Z:$raw" </dev/null \
        >"$work/capture.txt" 2>&1 ||
        { cat "$work/capture.txt"; echo "FAIL: zd-capture of preset $n" >&2; exit 1; }
      bytes=$(frame_bytes "$format" "$w" "$h")
      [ "$(stat -c %s "$raw")" = $((bytes * frames)) ] ||
        { echo "FAIL: preset $n delivered a wrong size" >&2; exit 1; }
      glyph_h=$(glyph_height "$(dirname "$ini")/$font")
      echo "$n ${w}x$h $format $(hash_outside_status "$raw" "$format" "$h" "$bytes" "$glyph_h")" \
        >>"$actual"
    done < <(presets "$ini")
    rm -f "$work/capture.raw"
    finish "$golden" "$actual" "$record"
    ;;
  *)
    echo "usage: golden_frames.sh preview|module ..." >&2
    exit 2
    ;;
esac
