#!/usr/bin/env bash
# zd-analyse against ffmpeg's own decoding of the same recording, side by side
# in one run: a 1080p60 H.264 recording of zd-preview's frames (preset 16,
# 1920 x 1080 YUY2 at 60 fps) with the frame code (with the pixel comparison,
# as by default, and without it), and the same frames without
# it (read from the status line's glyphs, which is reported but not held to
# the limit), and the coded recording with the picture turned upside down in
# its last tenth, which the comparison must find (else the script fails).
# Both programs use their default threads. Rounds alternate the
# programs so that other load on the machine falls on both; the ratio is the
# median of the per-round ratios.
#
#   bench/analyse_speed.sh [BUILD_DIR] [SECONDS] [ROUNDS]
#
# BUILD_DIR is a native build with zd-preview and zd-analyse (default
# build/native); SECONDS the recording's length (default 60); ROUNDS (default 3;
# ZD_GLYPH_ROUNDS sets the glyph rounds apart).
# The recordings are made once, in BUILD_DIR/bench-analyse/, and kept.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}
seconds=${2:-60}
rounds=${3:-3}
glyph_rounds=${ZD_GLYPH_ROUNDS:-$rounds}
preview=$build/tools/preview/zd-preview
analyse=$build/tools/analyse/zd-analyse
for p in "$preview" "$analyse"; do
  [ -x "$p" ] || { echo "analyse_speed: $p is missing (cmake --build $build --target zd-preview zd-analyse)" >&2; exit 1; }
done
work=$build/bench-analyse
mkdir -p "$work"
frames=$((seconds * 60))

# record CODE OUT: the preview's raw frames through a pipe into libx264.
record() {
  local code=$1 out=$2 fifo
  [ -s "$out" ] && return 0
  echo "making $out ($frames frames, frame code $code)"
  fifo=$(mktemp -u "$work/frames.XXXXXX")
  mkfifo "$fifo"
  "$preview" --ini assets/ZintuDobrel.ini --preset 16 --frames "$frames" --frame-code "$code" \
    --format raw --out "$fifo" >/dev/null &
  ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt yuyv422 -s 1920x1080 -r 60 -i "$fifo" \
    -c:v libx264 -preset veryfast -crf 23 -pix_fmt yuv420p "$out.part.mp4"
  wait
  rm -f "$fifo"
  mv "$out.part.mp4" "$out"
}
coded=$work/coded_1080p60_${seconds}s.mp4
glyphs=$work/glyphs_1080p60_${seconds}s.mp4
record 1 "$coded"
record 0 "$glyphs"
# The coded recording turned upside down in its last tenth only: the
# comparison, thinned while the picture holds steady, must still find it.
late=$work/late_flip_1080p60_${seconds}s.mp4
if [ ! -s "$late" ]; then
  echo "making $late (frames from $((frames * 9 / 10)) on upside down)"
  ffmpeg -nostdin -v error -y -i "$coded" -vf "vflip=enable=gte(n\\,$((frames * 9 / 10)))" \
    -c:v libx264 -preset veryfast -crf 23 -pix_fmt yuv420p "$late.part.mp4"
  mv "$late.part.mp4" "$late"
fi

# timed OUT COMMAND...: "wall cpu" seconds the command takes (cpu: user +
# system, all threads); its output goes to OUT.
timed() {
  local TIMEFORMAT='%R %U %S' t out=$1
  shift
  t=$({ time "$@" >"$out" 2>&1; } 2>&1) || true
  echo "$t" | awk '{printf "%.2f %.2f", $1, $2 + $3}'
}

median() { sort -g | awk '{v[NR] = $1} END {m = int((NR + 1) / 2); printf "%.2f", NR % 2 ? v[m] : (v[m] + v[m + 1]) / 2}'; }

# compare NAME FILE ROUNDS [OPTION...]: alternating runs (zd-analyse with the
# options); prints one table row with the median ratios of wall-clock and of
# processor time.
compare() {
  local name=$1 file=$2 n=$3 walls=() cpus=() dw dc aw ac
  shift 3
  for ((k = 1; k <= n; ++k)); do
    read -r dw dc <<<"$(timed /dev/null ffmpeg -nostdin -v error -i "$file" -f null -)"
    read -r aw ac <<<"$(timed "$file.txt" "$analyse" --no-progress "$@" "$file")"
    walls+=("$(awk -v a="$aw" -v d="$dw" 'BEGIN {printf "%.2f", a / d}')")
    cpus+=("$(awk -v a="$ac" -v d="$dc" 'BEGIN {printf "%.2f", a / d}')")
    echo "  round $k, $name: ffmpeg $dw s (processor $dc s), zd-analyse $aw s (processor $ac s)" >&2
  done
  grep -E '^(identity|frames|pixels|diagnosis|anomaly|result)' "$file.txt" | sed 's/^/  /' >&2
  printf '| %s | %s | %s | %s |\n' "$name" "$(printf '%s\n' "${walls[@]}" | median)" \
    "$(printf '%s\n' "${cpus[@]}" | median)" "${walls[*]}"
}

echo "| ${seconds} s, 1920x1080, 60 fps, H.264 | zd-analyse / ffmpeg, wall clock (median) | processor time (median) | wall-clock ratio per round |"
echo "|---|---|---|---|"
compare "frame code, pixel comparison" "$coded" "$rounds"
compare "frame code, --no-pixels" "$coded" "$rounds" --no-pixels
compare "status line glyphs (code off)" "$glyphs" "$glyph_rounds"
compare "upside down in the last tenth" "$late" 1
grep -q '^anomaly: *picture flipped_vertically' "$late.txt" ||
  { echo "analyse_speed: the late fault was not found" >&2; exit 1; }
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
