#!/usr/bin/env bash
# Faults on demand through real hosts under Wine, from a module folder of its
# own whose settings give one preset per fault kind, with the frame code on
# and a fault log (registered in the Wine prefix that ZD_WINEPREFIX names and
# unregistered at the end). For every kind:
# - zd-capture --verify finds exactly the injected faults with their frame
#   numbers at the DirectShow boundary, and the source's IAMDroppedFrames
#   agrees with its status line (plus the lost frames);
# - the fault log lists exactly those faults;
# - for the delivery faults, a recording by the Windows ffmpeg, decoded
#   natively with the frame-code decoder (frame_code_scan), shows them too;
#   for the time-stamp faults it shows every frame in order (ffmpeg stamps
#   frames with the graph clock: those faults show only at the boundary).
# A clean preset reports nothing. Expected frame numbers follow from the
# settings alone ("every N": frames N, 2N, ...); a run's last two frames are
# left out of the comparison, since a fault there may be cut off by the end.
#
#   faults_host.sh WINE_RUN ZD_CAPTURE FFMPEG MODULE_DIR FAULTS_DIR SCAN OUT_DIR
set -euo pipefail
wine_run=$1 capture=$2 ffmpeg=$3 module=$4 faults=$5 scan=$6 out=$7
device="Zintu Dobrel x64"
mkdir -p "$faults" "$out"

# name width kind every extra-keys (kinds: clean loss repeat reorder jitter stall no_time freeze)
cases=(
  "clean 320 clean 0"
  "loss 322 loss 7 fault_loss_every=7"
  "repeat 324 repeat 7 fault_repeat_every=7"
  "reorder 326 reorder 7 fault_reorder_every=7"
  "jitter 328 jitter 0 fault_jitter_ms=15;fault_jitter_seed=5"
  "stall 330 stall 20 fault_stall_ms=800;fault_stall_every=20"
  "no_time 332 no_time 7 fault_no_time_every=7"
  "freeze 334 freeze 9 fault_freeze_frames=2;fault_freeze_every=9"
)
frames=70

cp "$module"/ZintuDobrel64.ax "$module"/chart_small.bmp "$module"/font.bmp "$faults"/
{
  printf '[MAIN]\r\nbuff_num=2\r\npreset_num=%d\r\nauto_clock=1\r\nframe_code=1\r\n' ${#cases[@]}
  printf 'fault_log=faults.txt\r\n[PRESET_DEF]\r\nh=240\r\nfcc=YUY2\r\nframe_time=30\r\n'
  printf 'bmp=chart_small.bmp\r\nfont=font.bmp\r\nscroll_x=2\r\n'
  i=0
  for c in "${cases[@]}"; do
    read -r name width kind every keys <<<"$c"
    i=$((i + 1))
    printf '[PRESET_%02d]\r\nenable=1\r\nw=%d\r\ncomment=%s\r\n' $i "$width" "$name"
    [ -z "${keys:-}" ] || printf '%s\r\n' ${keys//;/ }
  done
} >"$faults/ZintuDobrel.ini"

# shellcheck source=host_lib.sh
. "$(dirname "$0")/host_lib.sh"
register_module "$wine_run" regsvr32 "Z:$faults/ZintuDobrel64.ax"

# The fault log's frames of one kind, up to last.
logged() { tr -d '\r' <"$faults/faults.txt" | awk -v kind="$1" -v last="$2" '$2 == kind && $1 <= last { print $1 }'; }
# The fault log's kinds, once each.
log_kinds() { tr -d '\r' <"$faults/faults.txt" | awk '{ print $2 }' | sort -u | tr '\n' ' '; }
# The frame numbers of a recording as frame_code_scan reads them, one per line.
recorded() { awk -F, '$2 == "frame" && $3 == "decoded" { print $5 }' "$1"; }
# The delivery faults of a frame-number sequence: "missing|repeated|out-of-order", up to last.
sequence_faults() {
  awk -v last="$2" '
    { n = $1 + 0
      if (n in seen) rep = rep " " n
      else if (n < high) ooo = ooo " " n
      seen[n] = 1
      if (n > high || NR == 1) high = n }
    END { for (f = 0; f < high; f++) if (!(f in seen) && f <= last) miss = miss " " f
          print miss "|" rep "|" ooo }' "$1" | awk -F'|' -v last="$2" '
    { for (i = 1; i <= 3; i++) { s = ""; k = split($i, a, " ")
        for (j = 1; j <= k; j++) if (a[j] <= last) s = s " " a[j]
        out = out (i > 1 ? "|" : "") s }
      print out }'
}

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

index=0
for c in "${cases[@]}"; do
  read -r name width kind every keys <<<"$c"
  cap=$index
  index=$((index + 1))
  json=$out/verify_$name.json
  status=0
  "$wine_run" "$capture" --cap "$cap" --frames $frames --verify --json </dev/null >"$json" ||
    status=$?
  last=$(json_value "$json" last_frame)
  echo "== $name (capability $cap): exit $status, last frame $last"
  grep -E '"(findings|counts_check|source_counts)"' "$json" || true
  [ -n "$last" ] && [ "$(json_value "$json" decoded)" = $frames ] && [ "$last" -ge $((frames / 2)) ] ||
    { fail "$name: not every frame carried a readable code"; continue; }
  upto=$((last - 2))

  expect_findings "$name" "$kind" "$every" $upto "$json"
  [ "$(json_value "$json" agrees)" = true ] || fail "$name: IAMDroppedFrames disagrees with the codes"

  # The fault log: exactly those, and no other kind.
  case $kind in
    clean) [ ! -s "$faults/faults.txt" ] || fail "$name: the fault log is not empty" ;;
    jitter)
      [ "$(log_kinds)" = "jitter " ] || fail "$name: the fault log has [$(log_kinds)]"
      ;;
    *)
      want=$(every "$every" $upto $([ "$kind" = freeze ] && echo 2) | list)
      expect "$name" "fault log" "$(logged "$kind" $upto | list)" "$want"
      [ "$(log_kinds)" = "$kind " ] || fail "$name: the fault log has [$(log_kinds)]"
      ;;
  esac

  # The same faults in a recording of the Windows ffmpeg, decoded natively.
  [ "$kind" = stall ] || [ "$kind" = jitter ] && continue
  # NUT keeps one frame per sample (AVI would fill late arrivals with copies).
  rec=$out/ffmpeg_$name.nut
  rm -f "$rec"
  if ! "$wine_run" "$ffmpeg" -hide_banner -loglevel error -f dshow -rtbufsize 200M \
      -pixel_format yuyv422 -video_size "${width}x240" -framerate 30 -i "video=$device" \
      -frames:v $frames -vsync passthrough -c:v rawvideo -f nut -y "Z:$rec" </dev/null; then
    fail "$name: ffmpeg could not record"
    continue
  fi
  # (Repeated and reordered samples reach the muxer with equal times: quiet.)
  ffmpeg -v fatal -i "$rec" -vsync passthrough -f rawvideo -pix_fmt gray - </dev/null |
    "$scan" "$width" 240 >"$out/scan_$name.csv"
  recorded "$out/scan_$name.csv" >"$out/frames_$name.txt"
  rlast=$(sort -n "$out/frames_$name.txt" | tail -n 1)
  rupto=$((rlast - 2))
  IFS='|' read -r rmiss rrep rooo < <(sequence_faults "$out/frames_$name.txt" $rupto)
  want_missing= want_repeated= want_ooo=
  case $kind in
    loss) want_missing=$(every "$every" $rupto | list) ;;
    repeat) want_repeated=$(every "$every" $rupto | list) ;;
    reorder) want_ooo=$(every "$every" $rupto | list) ;;
  esac
  echo "   ffmpeg: $(grep -c . "$out/frames_$name.txt") frames decoded up to $rlast"
  expect "$name (ffmpeg)" missing "$(echo $rmiss)" "$want_missing"
  expect "$name (ffmpeg)" repeated "$(echo $rrep)" "$want_repeated"
  expect "$name (ffmpeg)" out_of_order "$(echo $rooo)" "$want_ooo"
  rm -f "$rec"
done

[ $failures -eq 0 ] || { echo "$failures fault checks failed" >&2; exit 1; }
echo "every injected fault was found exactly, at the DirectShow boundary and in ffmpeg's recordings"
