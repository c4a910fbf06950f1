#!/usr/bin/env bash
# Pacing measurement under Wine: zd-capture for a while at 1920x1080 60 fps,
# in a graph with its reference clock (as most hosts run it) and without one
# (zd-capture --no-clock), then the unpaced preset (the shortest frame time)
# for the rate a capture graph with a null renderer sustains. The module runs
# with the shipped settings: with auto_clock=1 the graph's clock paces the
# frames when there is one, the performance counter otherwise.
#
# Reports, per run: frames, arrival intervals (p50 / p99 / max against
# 16.67 ms), frames late on arrival, the measured rate and the processor
# share, as one table row; the full reports stay in OUT_DIR as JSON. Two
# runs of a 640x480 60 fps preset without a clock show what the wait itself
# costs: on the wait path the module chooses, and with ZD_WAIT_PATH=raised-period
# on the system timer raised to 1 ms (the path where there is no
# high-resolution timer). A frame
# one second before the end of each paced run is saved as a snapshot
# (OUT_DIR/<run>.bmp, and a PNG of its status line when ImageMagick is there):
# its status line shows the filter's own drop count. Asserts nothing.
#
#   tools/measure-pacing.sh [--mjpg] [BUILD_DIR] [SECONDS]
#
# --mjpg: MJPG instead, from settings of its own: 1920x1080 and 1280x720 at
# 60 fps, each beside YUY2 at the same size and rate, and 3840x2160 at 30 fps
# (graph clock only).
#
# BUILD_DIR is a Windows build (default build/windows) holding
# server/ZintuDobrel64.ax and tools/capture/zd-capture.exe. The module is
# registered in a Wine prefix of its own (BUILD_DIR/pacingprefix) and
# unregistered at the end. OUT_DIR is BUILD_DIR/pacing-out.
set -euo pipefail
cd "$(dirname "$0")/.."
mjpg=0
if [ "${1:-}" = --mjpg ]; then
  mjpg=1
  shift
fi
build=$(cd "${1:-build/windows}" && pwd)
seconds=${2:-60}
capture=$build/tools/capture/zd-capture.exe
module_dir=$build/pacing-module
module=$module_dir/ZintuDobrel64.ax
out=$build/pacing-out
export ZD_WINEPREFIX=$build/pacingprefix
export WINEPREFIX=$ZD_WINEPREFIX

mkdir -p "$module_dir" "$out"
cp "$build/server/ZintuDobrel64.ax" "$module_dir/"
cp assets/ZintuDobrel.ini assets/*.bmp "$module_dir/"
if [ $mjpg = 1 ]; then
  {
    printf '[MAIN]\r\nbuff_num=2\r\npreset_num=5\r\nauto_clock=1\r\n'
    printf '[PRESET_DEF]\r\nbmp=chart.bmp\r\nfont=font_large.bmp\r\nscroll_x=4\r\nscroll_y=2\r\n'
    n=0
    for p in "1920 1080 MJPG 60" "1920 1080 YUY2 60" "1280 720 MJPG 60" "1280 720 YUY2 60" \
             "3840 2160 MJPG 30"; do
      read -r w h fcc rate <<<"$p"
      n=$((n + 1))
      printf '[PRESET_%02d]\r\nenable=1\r\nw=%s\r\nh=%s\r\nfcc=%s\r\nframe_time=%s\r\n' \
        $n "$w" "$h" "$fcc" "$rate"
    done
  } >"$module_dir/ZintuDobrel.ini"
fi
cleanup() {
  cmake/wine-run.sh regsvr32 /u /s "Z:$module" </dev/null >/dev/null 2>&1 || true
  wineserver -k </dev/null >/dev/null 2>&1 || true
}
trap cleanup EXIT
cmake/wine-run.sh regsvr32 /s "Z:$module" </dev/null
echo "auto_clock in the settings: $(grep -i '^ *auto_clock *=' "$module_dir/ZintuDobrel.ini" | tail -n 1)"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"

caps=$(cmake/wine-run.sh "$capture" --list-caps --json </dev/null)
# The first capability matching a size and a frame time rule.
pick() {
  echo "$caps" | grep -o '"index": [0-9]*, "width": [0-9]*, "height": [0-9]*, "format": "[^"]*", "frame_time": [0-9]*' |
    sed 's/"[a-z_]*": //g; s/,//g; s/"//g' | awk "$1" | head -n 1
}

# json_number FILE KEY: the first number given for "KEY" in a report.
json_number() {
  grep -o "\"$2\": [-0-9.]*" "$1" | head -n 1 | sed 's/^[^:]*: //'
}

rows=()
# run NAME LABEL ZD_CAPTURE_ARGS...: one capture, its report kept and summed up.
run() {
  local name=$1 label=$2
  shift 2
  local json=$out/$name.json
  echo "-- $label: zd-capture $*"
  cmake/wine-run.sh "$capture" "$@" --json </dev/null >"$json" || true
  local frames p50 p99 max late fps cpu
  frames=$(json_number "$json" frames)
  p50=$(json_number "$json" p50) p99=$(json_number "$json" p99) max=$(json_number "$json" max)
  late=$(json_number "$json" late_frames)
  fps=$(json_number "$json" measured_fps)
  cpu=$(json_number "$json" cpu_percent_one_core)
  if [ -z "$frames" ]; then
    cat "$json"
    rows+=("| $label | failed | | | | |")
    return
  fi
  rows+=("$(printf '| %s | %s | %.2f / %.2f / %.1f | %s | %.2f fps | %.1f %% |' "$label" "$frames" \
    "$p50" "$p99" "$max" "$late" "$fps" "$cpu")")
  echo "${rows[-1]}"
  if [ -f "$out/$name.bmp" ] && command -v convert >/dev/null; then
    # The status line: the top 40 rows of the right half (1080p uses the large font).
    convert "$out/$name.bmp" -crop 960x40+960+0 +repage "$out/$name-status.png" || true
  fi
}

if [ $mjpg = 1 ]; then
  for line in "0 MJPG 1920x1080p60" "1 YUY2 1920x1080p60" "2 MJPG 1280x720p60" \
              "3 YUY2 1280x720p60" "4 MJPG 3840x2160p30"; do
    read -r index format label <<<"$line"
    run "mjpg-$index" "$label $format, graph clock" --cap "$index" --seconds "$seconds"
  done
  echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
  echo
  echo "| run | frames | p50 / p99 / max interval (ms) | late on arrival | measured rate | processor (one core) |"
  echo "|---|---|---|---|---|---|"
  printf '%s\n' "${rows[@]}"
  echo "Reports: $out"
  exit 0
fi

echo "== 1920x1080 at 60 fps for $seconds s"
last=$((seconds * 60 - 60))
[ "$last" -ge 0 ] || last=0
for line in "$(pick '$2 == 1920 && $3 == 1080 && $5 == 166666 && $4 == "YUY2" { print $1, $4 }')" \
            "$(pick '$2 == 1920 && $3 == 1080 && $5 == 166666 && $4 == "RGB32" { print $1, $4 }')"; do
  [ -n "$line" ] || continue
  read -r index format <<<"$line"
  # With the graph's clock the null renderer holds each sample until its
  # time stamp is due; without one, arrivals follow the filter's own pacing.
  run "${format}-graph-clock" "$format, graph clock" --cap "$index" --seconds "$seconds" \
    --snapshot "Z:$out/${format}-graph-clock.bmp" --snapshot-frame "$last"
  run "${format}-no-clock" "$format, no clock" --cap "$index" --seconds "$seconds" --no-clock \
    --snapshot "Z:$out/${format}-no-clock.bmp" --snapshot-frame "$last"
done

# The wait's share of the processor at 60 fps: a small picture (640x480,
# where a frame costs little to make) without a clock, once on the wait path
# the module chooses and once on the raised system timer (ZD_WAIT_PATH).
echo "== the wait at 60 fps: 640x480 without a clock, each wait path, for $seconds s"
line=$(pick '$2 == 640 && $3 == 480 && $5 == 166666 { print $1, $4 }')
if [ -n "$line" ]; then
  read -r index format <<<"$line"
  run "wait-chosen" "640x480 $format, no clock, chosen wait path" --cap "$index" \
    --seconds "$seconds" --no-clock
  ZD_WAIT_PATH=raised-period run "wait-raised-period" "640x480 $format, no clock, raised period" \
    --cap "$index" --seconds "$seconds" --no-clock
fi

echo "== unpaced: the shortest frame time, for 10 s"
line=$(echo "$caps" | grep -o '"index": [0-9]*, [^}]*"frame_time": [0-9]*' |
  sed 's/"index": \([0-9]*\).*"frame_time": \([0-9]*\)/\2 \1/' | sort -n | head -n 1)
read -r frame_time index <<<"$line"
run unpaced-graph-clock "unpaced (frame time $frame_time), graph clock" --cap "$index" --seconds 10
run unpaced-no-clock "unpaced (frame time $frame_time), no clock" --cap "$index" --seconds 10 --no-clock

echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| run | frames | p50 / p99 / max interval (ms) | late on arrival | measured rate | processor (one core) |"
echo "|---|---|---|---|---|---|"
printf '%s\n' "${rows[@]}"
echo "Reports and snapshots: $out"
