#!/usr/bin/env bash
# Device events through real hosts under Wine, from a module folder of its
# own (registered in the Wine prefix that ZD_WINEPREFIX names, unregistered
# at the end) with the frame code on, a fault log and the device exclusive.
#
# unplug: presets that unplug the device after N frames, one case a line:
# - the Windows ffmpeg records until the device goes and ends by itself, with
#   exactly frames 0..N-1 in its recording (read natively by frame_code_scan);
# - zd-capture reports the removal (exit code 9) after exactly N frames;
# - zd-capture --reconnect hears the removal, then the return, builds its
#   graph anew and reaches its frame count, every new graph's frames in a new
#   stream (--verify names the seams and the frames missing between).
# busy: while one zd-capture streams, a second zd-capture and the Windows
# ffmpeg fail to run their graphs (0x8007001F) and the first goes on; killed,
# the first frees the device for the next at once.
#
# Nothing here is timed: waits end on what the programs write, and the test's
# time-out is the only watchdog against a hang.
#
#   device_events_host.sh MODE WINE_RUN ZD_CAPTURE FFMPEG MODULE_DIR EVENTS_DIR SCAN OUT_DIR
set -euo pipefail
mode=$1 wine_run=$2 capture=$3 ffmpeg=$4 module=$5 events=$6 scan=$7 out=$8
device="Zintu Dobrel x64"
unplug_after=12
replug_ms=1500
mkdir -p "$events" "$out"

# shellcheck source=host_lib.sh
. "$(dirname "$0")/host_lib.sh"
need_windows_ffmpeg "$ffmpeg"

# Capabilities: 0 clean (160 x 120), 1 unplug for good (322), 2 unplug and
# replug (324); all YUY2 at 30 fps.
cp "$module"/ZintuDobrel64.ax "$module"/chart_small.bmp "$module"/font.bmp "$events"/
{
  printf '[MAIN]\r\npreset_num=3\r\nauto_clock=1\r\nframe_code=1\r\nexclusive=1\r\nfault_log=faults.txt\r\n'
  printf '[PRESET_DEF]\r\nh=240\r\nfcc=YUY2\r\nframe_time=30\r\nbmp=chart_small.bmp\r\nfont=font.bmp\r\n'
  printf '[PRESET_01]\r\nenable=1\r\nw=160\r\nh=120\r\n'
  printf '[PRESET_02]\r\nenable=1\r\nw=322\r\nfault_unplug_after=%d\r\n' $unplug_after
  printf '[PRESET_03]\r\nenable=1\r\nw=324\r\nfault_unplug_after=%d\r\nfault_replug_ms=%d\r\n' \
    $unplug_after $replug_ms
} >"$events/ZintuDobrel.ini"
register_module "$wine_run" regsvr32 "Z:$events/ZintuDobrel64.ax"

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# The device events of a JSON report, "removed@12 available@12 ...".
device_events() {
  { grep -o '{"event": "[a-z]*", "frames": [0-9]*' "$1" || true; } |
    sed 's/{"event": "//; s/", "frames": /@/' | list
}
# A fault log's lines joined with spaces; empty when there is none.
log_lines() { if [ -f "$1" ]; then tr -d '\r' <"$1" | list; fi; }
# The numbers of one key in every object of a JSON report's list, one a line.
json_all() { { grep -o "\"$2\": [0-9-]*" "$1" || true; } | sed 's/.*: //'; }

unplug() {
  # program | capability | options | exit code | device events | frames |
  # reconnects | fault log (each stream starts it afresh: after a rebuild, the
  # last stream's, which did not reach the unplug)
  local n=$unplug_after
  local cases=(
    "ffmpeg|1||0||$n||$n unplug"
    "zd-capture|1|--frames 40|9|removed@$n|$n|0|$n unplug"
    "zd-capture|2|--frames 40|9|removed@$n|$n|0|$n unplug $n replug ms=$replug_ms"
    "zd-capture|2|--frames 30 --reconnect|0|removed@$n available@$n removed@$((2 * n)) available@$((2 * n))|30|2|"
  )
  local program cap options status_want events_want frames_want reconnects_want log_want
  for c in "${cases[@]}"; do
    IFS='|' read -r program cap options status_want events_want frames_want reconnects_want \
      log_want <<<"$c"
    local name="$program $options"
    local status=0
    rm -f "$events/faults.txt"
    if [ "$program" = ffmpeg ]; then
      local rec=$out/unplug.nut
      rm -f "$rec"
      "$wine_run" "$ffmpeg" -hide_banner -loglevel error -f dshow -pixel_format yuyv422 \
        -video_size 322x240 -framerate 30 -i "video=$device" -frames:v 1000 \
        -vsync passthrough -c:v rawvideo -f nut -y "Z:$rec" </dev/null || status=$?
      ffmpeg -v fatal -i "$rec" -vsync passthrough -f rawvideo -pix_fmt gray - </dev/null |
        "$scan" 322 240 >"$out/unplug_scan.csv"
      local got
      got=$(awk -F, '$2 == "frame" && $3 == "decoded" { print $5 }' "$out/unplug_scan.csv" | list)
      expect "$name" "recorded frames" "$got" "$(seq 0 $((unplug_after - 1)) | list)"
    else
      local json=$out/unplug_$cap.json
      "$wine_run" "$capture" --cap "$cap" $options --verify --json </dev/null >"$json" ||
        status=$?
      expect "$name" "device events" "$(device_events "$json")" "$events_want"
      expect "$name" frames "$(json_value "$json" frames)" "$frames_want"
      expect "$name" reconnects "$(json_value "$json" reconnects)" "$reconnects_want"
      if [ "$reconnects_want" -gt 0 ]; then
        # Every graph built anew streams from frame 0 in a stream of its own;
        # the device was away for the replug time: at least that many frames.
        expect "$name" "old streams' last frames" "$(json_all "$json" old_last_frame | list)" \
          "$(printf '%s\n' $((unplug_after - 1)) $((unplug_after - 1)) | list)"
        expect "$name" "new streams' first frames" "$(json_all "$json" new_first_frame | list)" "0 0"
        [ "$(json_all "$json" new_stream | sort -u | grep -c .)" = 2 ] ||
          fail "$name: the new streams' ids are not new"
        for missing in $(json_all "$json" missing_between); do
          [ "$missing" -ge $((replug_ms * 30 / 1000 - 2)) ] ||
            fail "$name: only $missing frames missing across a replug of $replug_ms ms"
        done
      fi
    fi
    echo "== $name: exit $status"
    expect "$name" "exit code" "$status" "$status_want"
    # The log names the frame of the unplug (and the replug's wait).
    expect "$name" "fault log" "$(log_lines "$events/faults.txt")" "$log_want"
  done
}

# Ends a Windows program started in the background here: Wine runs it as a
# child of the process started, and both go.
end_program() {
  local children
  children=$(pgrep -P "$1" || true)
  kill -9 $children "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
  # Gone when no longer running: the system has closed its handles then.
  for child in $children; do
    while kill -0 "$child" 2>/dev/null && [[ "$(ps -o stat= -p "$child")" != Z* ]]; do sleep 0.1; done
  done
}

busy() {
  local dumps=$out/first_frames
  rm -rf "$dumps" && mkdir -p "$dumps"
  # Dumped frames so far.
  dumped() { find "$dumps" -name 'frame_*.raw' | wc -l; }
  # Waits (no time limit: the test's time-out is the watchdog) until the first
  # capture has dumped more than N frames; false when it ended first.
  await_frames() { while [ "$(dumped)" -le "$1" ]; do kill -0 "$first" 2>/dev/null || return 1; sleep 0.2; done; }

  "$wine_run" "$capture" --cap 0 --frames 1000000 --dump-frames "Z:$dumps" </dev/null \
    >"$out/first.txt" 2>&1 &
  first=$!
  await_frames 2 || fail "the first capture never streamed"

  local status=0
  "$wine_run" "$capture" --cap 0 --frames 5 </dev/null >"$out/second.txt" 2>&1 || status=$?
  echo "== second zd-capture: exit $status"
  expect "second zd-capture" "exit code" $status 5
  grep -q 'IMediaControl::Run failed (0x8007001F)' "$out/second.txt" ||
    fail "second zd-capture: $(cat "$out/second.txt")"

  # The Windows ffmpeg says its graph could not run. Under Wine it then
  # loops in its clean-up (Wine's graph leaves ffmpeg's own sink paused
  # after the failed Run, and ffmpeg retries removing it for ever): it is
  # ended once it has said so.
  "$wine_run" "$ffmpeg" -hide_banner -f dshow -video_size 160x120 -i "video=$device" \
    -frames:v 5 -f null - </dev/null >"$out/ffmpeg.txt" 2>&1 &
  local ffmpeg_run=$!
  while ! grep -qi 'could not run graph' "$out/ffmpeg.txt"; do
    kill -0 $ffmpeg_run 2>/dev/null || break
    sleep 0.2
  done
  echo "== ffmpeg: $(grep -i 'could not run graph' "$out/ffmpeg.txt" || true)"
  grep -qi 'could not run graph' "$out/ffmpeg.txt" || fail "ffmpeg: $(tail -n 5 "$out/ffmpeg.txt")"
  end_program $ffmpeg_run

  # The first goes on; killed, it frees the device for the next.
  local before
  before=$(dumped)
  await_frames $((before + 5)) || fail "the first capture stopped streaming"
  end_program $first
  status=0
  "$wine_run" "$capture" --cap 0 --frames 5 </dev/null >"$out/next.txt" 2>&1 || status=$?
  echo "== next zd-capture after the first was killed: exit $status"
  expect "next zd-capture" "exit code" $status 0
}

case $mode in
  unplug) unplug ;;
  busy) busy ;;
  *) echo "unknown mode $mode" >&2; exit 2 ;;
esac
[ $failures -eq 0 ] || { echo "$failures device event checks failed" >&2; exit 1; }
echo "device events ($mode): as a real device's"
