#!/usr/bin/env bash
# Faults on demand through the Media Foundation face: a module folder of its
# own whose settings give one preset per fault kind, with the frame code on;
# for every kind zd-capture --mf --verify finds exactly the injected faults
# with their frame numbers at the source reader. The media source delivers
# one sample per request: a lost frame is made and dropped (the request is
# answered by the next frame), a repeated frame goes out again for the next
# request, a reordered one after the next frame; frames without time carry
# no sample time, frozen ones the time of an earlier frame; empty and short
# samples (sample faults) come with a current length of 0 or of their share
# of the frame, and are numbered, not missing. A stalled frame leaves the
# frames after it overdue: the source skips those due more than an interval
# before they are asked for, so they are missing. A clean preset
# reports nothing. A run's last two frames are left out of the comparison.
# Every subtype the source offers is read with --verify: NV12, MJPG (each
# sample one JPEG, decoded by zd-capture) and the NV12 twin of the first
# preset; broken JPEGs reach the reader as the fault made them (the dumped
# samples show it) and still carry their codes.
#
#   faults_mf.sh WINE_RUN ZD_CAPTURE MODULE ASSETS_DIR FAULTS_DIR OUT_DIR
set -euo pipefail
wine_run=$1 capture=$2 module=$3 assets=$4 faults=$5 out=$6
mkdir -p "$faults" "$out"

# name kind every extra-keys
cases=(
  "clean clean 0"
  "loss loss 7 fault_loss_every=7"
  "repeat repeat 7 fault_repeat_every=7"
  "reorder reorder 7 fault_reorder_every=7"
  "stall stall 20 fault_stall_ms=270;fault_stall_every=20"
  "no_time no_time 7 fault_no_time_every=7"
  "freeze freeze 9 fault_freeze_frames=2;fault_freeze_every=9"
  "empty partial 7 fault_empty_every=7"
  "short partial 5 fault_short_every=5;fault_short_percent=40"
  "nv12 clean 0 fcc=NV12;w=640;h=480"
  "mjpg clean 0 fcc=MJPG"
  "mjpg_empty partial 7 fcc=MJPG;fault_empty_every=7"
  "mjpg_broken clean 0 fcc=MJPG;fault_jpeg_truncate_every=11;fault_jpeg_truncate_percent=80;fault_jpeg_no_eoi_every=13;fault_jpeg_no_tables_every=7;fault_jpeg_trailing_every=9"
)
# After the presets, the one NV12 twin: of the first 320 x 240 preset
# (640 x 480 has its NV12 preset). Its frames name that preset.
twin_cap=${#cases[@]}
frames=40

cp "$module" "$assets"/chart_small.bmp "$assets"/font.bmp "$faults"/
{
  printf '[MAIN]\r\npreset_num=%d\r\nframe_code=1\r\n' ${#cases[@]}
  printf '[PRESET_DEF]\r\nw=320\r\nh=240\r\nfcc=YUY2\r\nframe_time=30\r\n'
  printf 'bmp=chart_small.bmp\r\nfont=font.bmp\r\nscroll_x=2\r\n'
  i=0
  for c in "${cases[@]}"; do
    read -r name kind every keys <<<"$c"
    i=$((i + 1))
    printf '[PRESET_%02d]\r\nenable=1\r\ncomment=%s\r\n' $i "$name"
    [ -z "${keys:-}" ] || printf '%s\r\n' ${keys//;/ }
  done
} >"$faults/ZintuDobrel.ini"

# shellcheck source=../hosts/host_lib.sh
. "$(dirname "$0")/../hosts/host_lib.sh"

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# The frames skipped after the stalls (every 20th frame, 270 ms at 30 fps:
# 8.1 intervals) up to UPTO: the 7 after each, which are due more than an
# interval before the end of the stall, and an 8th where the run shows it
# (the next request came more than 30 ms after the stall ended, as on a busy
# machine). A stall of a whole number of intervals would put the end of the
# stall right at a frame's limit.
#   skipped_after_stalls UPTO JSON
skipped_after_stalls() {
  local upto=$1 found s j
  found=" $(json_list "$2" missing "$upto" | list) "
  for s in $(every 20 "$upto"); do
    for j in 1 2 3 4 5 6 7 8; do
      [ $((s + j)) -le "$upto" ] || continue
      [ $j -lt 8 ] || [[ "$found" == *" $((s + j)) "* ]] || continue
      echo $((s + j))
    done
  done
}

# verify NAME CAP KIND EVERY [zd-capture options]: the run's findings.
verify() {
  local name=$1 cap=$2 kind=$3 every=$4
  shift 4
  local json=$out/verify_$name.json status=0
  "$wine_run" "$capture" --mf --module "Z:$faults/$(basename "$module")" --cap "$cap" \
    --frames $frames --verify --json "$@" </dev/null >"$json" || status=$?
  local last decoded partial
  last=$(json_value "$json" last_frame)
  echo "== $name (type $cap): exit $status, last frame $last"
  grep -E '"findings"' "$json" || true
  decoded=$(json_value "$json" decoded) partial=$(json_value "$json" partial)
  [ -n "$last" ] && [ $((decoded + partial)) = $frames ] && [ "$last" -ge $((frames / 2)) ] ||
    { fail "$name: not every whole frame carried a readable code"; return; }
  [ "$kind" != clean ] || [ $status -eq 0 ] || fail "$name: exit $status"
  local upto=$((last - 2)) skipped=
  [ "$kind" != stall ] || skipped=$(skipped_after_stalls $upto "$json" | list)
  expect_findings "$name" "$kind" "$every" $upto "$json" "$skipped"
}

index=0
for c in "${cases[@]}"; do
  read -r name kind every keys <<<"$c"
  cap=$index
  index=$((index + 1))
  if [ "$name" = mjpg_broken ]; then
    rm -rf "$out/mjpg_broken"
    verify "$name" "$cap" "$kind" "$every" --dump-frames "Z:$out/mjpg_broken"
  else
    verify "$name" "$cap" "$kind" "$every"
  fi
done
verify nv12_twin "$twin_cap" clean 0

# The broken JPEGs as the reader got them (samples numbered as the frames):
# a JPEG ends with its end marker unless cut or without it, carries its
# Huffman tables unless left out, and trailing junk follows the end marker.
ends() { [ "$(tail -c "${#2}" "$1")" = "$2" ]; }
eoi() { [ "$(tail -c 2 "$1" | od -An -tx1 | tr -d ' \n')" = ffd9 ]; }
tables() { od -An -v -tx1 "$1" | tr -s ' \n' '  ' | grep -q 'ff c4'; }
for n in 1 2 3 4 5 6; do
  f=$out/mjpg_broken/frame_0000$n.raw
  eoi "$f" && tables "$f" || fail "mjpg_broken: frame $n is not a whole JPEG"
done
for n in 11 22 33 13 26; do
  eoi "$out/mjpg_broken/frame_000$n.raw" && fail "mjpg_broken: frame $n ends with its end marker"
done
for n in 7 14 21 28; do
  tables "$out/mjpg_broken/frame_000$n.raw" && fail "mjpg_broken: frame $n carries Huffman tables"
done
for n in 9 18 27; do
  ends "$out/mjpg_broken/frame_000$(printf %02d $n).raw" 'ZD junk after EI' ||
    fail "mjpg_broken: frame $n has no trailing junk"
done

[ $failures -eq 0 ] || { echo "$failures fault checks failed" >&2; exit 1; }
echo "every injected fault was found exactly at the source reader"
