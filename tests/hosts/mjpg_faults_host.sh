#!/usr/bin/env bash
# Broken JPEGs, empty and short samples through real hosts under Wine, from a
# module folder of its own (frame code on, a fault log), registered in the
# Wine prefix that ZD_WINEPREFIX names and unregistered at the end:
# - the Windows ffmpeg records the MJPG faults preset by stream copy into
#   Matroska; zd-analyse's "damaged" events equal the fault log's JPEG
#   entries kind for kind and frame for frame, and its missing frames are
#   exactly the empty samples (ffmpeg writes no packet for those);
# - native ffmpeg decoding each damaged packet shows the warnings its kind is
#   known to raise, and none for a whole frame, no tables or trailing bytes;
# - the Windows ffmpeg records the YUY2 preset by stream copy into NUT;
#   zd-analyse's "damaged" events are its short and empty samples, kind for
#   kind, as the fault log lists them;
# - zd-capture --verify counts the empty and short samples of a YUY2 preset
#   and the empty ones of the MJPG preset, at the numbers the fault log gives.
#
#   mjpg_faults_host.sh WINE_RUN ZD_CAPTURE FFMPEG MODULE_FILE REGSVR32 DEVICE ANALYSE ASSETS WORK
set -euo pipefail
wine_run=$1 capture=$2 ffmpeg=$3 module_file=$4 regsvr32=$5 device=$6 analyse=$7 assets=$8
work=$9
frames=60
# shellcheck source=host_lib.sh
. "$(dirname "$0")/host_lib.sh"
need_windows_ffmpeg "$ffmpeg"
module_dir=$work/module
rm -rf "$work"
mkdir -p "$module_dir" "$work/packets"
cp "$module_file" "$assets/chart_small.bmp" "$assets/font.bmp" "$module_dir/"
ini=$module_dir/ZintuDobrel.ini
log=$module_dir/faults.txt
# Periods that do not meet below 60 frames: every kind hits two frames or more.
{
  printf '[MAIN]\r\nbuff_num=2\r\npreset_num=2\r\nauto_clock=1\r\nframe_code=1\r\n'
  printf 'fault_log=faults.txt\r\n'
  printf '[PRESET_DEF]\r\nw=320\r\nh=240\r\nframe_time=30\r\nbmp=chart_small.bmp\r\n'
  printf 'font=font.bmp\r\nscroll_x=2\r\n'
  printf '[PRESET_01]\r\nenable=1\r\nfcc=MJPG\r\ncomment=broken jpegs\r\n'
  printf 'fault_jpeg_truncate_every=7\r\nfault_jpeg_truncate_percent=60\r\n'
  printf 'fault_jpeg_no_eoi_every=11\r\nfault_jpeg_corrupt_every=13\r\n'
  printf 'fault_jpeg_no_tables_every=17\r\nfault_jpeg_trailing_every=19\r\nfault_empty_every=23\r\n'
  printf '[PRESET_02]\r\nenable=1\r\nfcc=YUY2\r\ncomment=short samples\r\n'
  printf 'fault_short_every=5\r\nfault_short_percent=40\r\nfault_empty_every=7\r\n'
} >"$ini"
module=Z:$module_dir/$(basename "$module_file")

register_module "$wine_run" "$regsvr32" "$module"

fail() { echo "FAIL: $*" >&2; exit 1; }
# The fault log's sample faults up to a frame number: "<frame> <kind>" lines.
logged() { tr -d '\r' <"$1" | awk -v last="$2" '$1 <= last && $2 != "loss" {print $1, $2}'; }

# The Windows ffmpeg: MJPG copied as it comes.
rec=$work/faults.mkv
"$wine_run" "$ffmpeg" -hide_banner -loglevel error -f dshow -rtbufsize 100M -vcodec mjpeg -video_size 320x240 \
  -i "video=$device" -frames:v $frames -c copy -y "Z:$rec" </dev/null ||
  fail "ffmpeg could not record MJPG"
cp "$log" "$work/ffmpeg_faults.txt"
"$analyse" --ini "$ini" --json "$rec" >"$work/analyse.json" 2>"$work/analyse.err" || true
last=$(json_value "$work/analyse.json" last_frame)
[ -n "$last" ] && [ "$last" -ge $((frames - 1)) ] || fail "zd-analyse read frames up to $last only"

# Damaged events as "<index> <frame> <damage>": a frame whose code did not
# read is the one between its neighbours, when exactly one number is free.
grep -o '{"index": [0-9]*, "field": 0, "event": "damaged"[^}]*}' "$work/analyse.json" |
  sed -E 's/\{"index": ([0-9]+).*"frame": ([0-9]+), "damage": "([^"]*)".*/\1 \2 \3/;
          s/\{"index": ([0-9]+).*"damage": "([^"]*)", "after": ([0-9]+), "before": ([0-9]+).*/\1 between:\3:\4 \2/' |
  awk '{ if ($2 ~ /^between:/) { split($2, n, ":"); $2 = (n[3] - n[2] == 2) ? n[2] + 1 : "?" }
         print }' >"$work/damaged.txt"
cut -d' ' -f2- "$work/damaged.txt" | sed 's/ /:/' | sort -n >"$work/found.txt"
logged "$work/ffmpeg_faults.txt" "$last" | grep -v ' empty$' |
  sed 's/ jpeg_truncate$/:truncated/; s/ jpeg_no_eoi$/:no end marker/;
       s/ jpeg_corrupt$/:corrupt data/; s/ jpeg_no_tables$/:no tables/;
       s/ jpeg_trailing$/:trailing bytes/' | sort -n >"$work/expected.txt"
[ -s "$work/expected.txt" ] || fail "the fault log names no broken JPEG"
diff "$work/expected.txt" "$work/found.txt" ||
  fail "zd-analyse's damaged frames are not the fault log's broken JPEGs"
for kind in truncated 'no end marker' 'corrupt data' 'no tables' 'trailing bytes'; do
  grep -q ":$kind\$" "$work/found.txt" || fail "no frame damaged as $kind"
done
empties=$(logged "$work/ffmpeg_faults.txt" "$last" | awk '$2 == "empty" {print $1}' | tr '\n' ' ')
missing=$(grep -oE '"missing_ranges": \[(\[[0-9]+, [0-9]+\](, )?)*\]' "$work/analyse.json" |
  grep -o '\[[0-9]*, [0-9]*\]' |
  tr -d '[],' | awk '{for (n = $1; n <= $2; ++n) printf "%d ", n}')
[ -n "$empties" ] && [ "$missing" = "$empties" ] ||
  fail "missing frames ($missing) are not the empty samples ($empties)"
[ "$(json_value "$work/analyse.json" unreadable)" = 0 ] || fail "damaged frames counted unreadable"
echo "zd-analyse: $(wc -l <"$work/found.txt") damaged frames as logged, empty samples $empties missing"

# Native ffmpeg on each packet alone: what each kind raises at -v warning.
ffmpeg -v error -i "$rec" -c copy -f image2 "$work/packets/%05d.jpg"
warnings() {
  ffmpeg -hide_banner -nostdin -v warning -i "$work/packets/$(printf %05d $(($1 + 1))).jpg" \
    -f null - 2>&1 | grep -v '^$' || true
}
[ -z "$(warnings 0)" ] || fail "native ffmpeg warns about a whole frame: $(warnings 0)"
while read -r index frame damage; do
  text=$(warnings "$index")
  case $damage in
    truncated) want='overread' ;;
    'no end marker') want='EOI missing' ;;
    'corrupt data') want='error count|error y=|bad vlc|ac-tex damaged' ;;
    *) want='' ;;
  esac
  if [ -n "$want" ]; then
    grep -Eq "$want" <<<"$text" || fail "frame $frame ($damage): ffmpeg did not say $want: $text"
    if [ "$damage" = 'no end marker' ] && grep -q overread <<<"$text"; then
      fail "frame $frame (no end marker): ffmpeg found data missing: $text"
    fi
  else
    [ -z "$text" ] || fail "frame $frame ($damage): ffmpeg warned: $text"
  fi
done < <(sed -E 's/^([0-9]+) ([0-9?]+) (.*)$/\1 \2 \3/' "$work/damaged.txt")
echo "native ffmpeg: overread for truncated, EOI missing for no end marker, errors for corrupt data"

# The Windows ffmpeg: YUY2 copied as it comes, short and empty samples kept;
# zd-analyse names each a damaged frame, of the fault log's kind. The 40 %
# kept end before the frame code's rows (72 to 103 at 320 x 240), so each
# stands between its readable neighbours.
rec=$work/short.nut
"$wine_run" "$ffmpeg" -hide_banner -loglevel error -f dshow -rtbufsize 100M \
  -pixel_format yuyv422 -video_size 320x240 -i "video=$device" -frames:v 40 -c copy -f nut \
  -y "Z:$rec" </dev/null || fail "ffmpeg could not record YUY2"
cp "$log" "$work/ffmpeg_short_faults.txt"
rc=0
"$analyse" --ini "$ini" --json "$rec" >"$work/short.json" 2>"$work/short.err" || rc=$?
[ "$rc" = 1 ] || fail "zd-analyse on short samples: exit code $rc, expected 1: $(cat "$work/short.err")"
last=$(json_value "$work/short.json" last_frame)
found=$(grep -o '"damage": "[a-z ]*", "after": [0-9]*, "before": [0-9]*' "$work/short.json" |
  sed -E 's/"damage": "([a-z ]*)".*/\1/' | sort | uniq -c | xargs)
want=$(logged "$work/ffmpeg_short_faults.txt" "$last" | awk '{print $2}' |
  sed 's/^short$/short data/' | sort | uniq -c | xargs)
[ -n "$want" ] && [ "$found" = "$want" ] ||
  fail "zd-analyse's damaged frames ($found) are not the short and empty samples ($want)"
[ "$(json_value "$work/short.json" unreadable)" = 0 ] &&
  [ "$(json_value "$work/short.json" missing)" = 0 ] ||
  fail "short or empty samples counted unreadable or missing"
echo "zd-analyse on YUY2 copied by ffmpeg: damaged as logged ($want)"

# zd-capture: empty and short samples counted as such.
capture_run() {
  local cap=$1 count=$2 report=$work/capture_$1.json
  "$wine_run" "$capture" --device "$device" --cap "$cap" --frames "$count" --verify --json \
    </dev/null >"$report" 2>"$work/capture_$cap.err" || true
  cp "$log" "$work/capture_faults_$cap.txt"
}
capture_run 0 30
capture_run 1 30
for cap in 0 1; do
  report=$work/capture_$cap.json
  faults=$work/capture_faults_$cap.txt
  # The samples are frames 0 to 29 (no frame is lost); the log goes on to
  # the frames made before the stop.
  want_empty=$(logged "$faults" 29 | awk '$2 == "empty"' | wc -l)
  want_short=$(logged "$faults" 29 | awk '$2 == "short"' | wc -l)
  [ "$want_empty" -gt 0 ] || fail "cap $cap: no empty sample logged"
  [ "$(json_value "$report" empty_samples)" = "$want_empty" ] ||
    { cat "$report"; fail "cap $cap: empty samples not $want_empty"; }
  [ "$(json_value "$report" short_samples)" = "$want_short" ] ||
    { cat "$report"; fail "cap $cap: short samples not $want_short"; }
  partial=$(grep -o '"partial": \[[^]]*\]' "$report" | tr -d '[],' | cut -d' ' -f2- | xargs)
  want=$(logged "$faults" 29 | awk '$2 == "empty" || $2 == "short" {print $1}' | xargs)
  [ "$partial" = "$want" ] || fail "cap $cap: --verify numbered them $partial, not $want"
  grep -q '"findings": {"missing": \[\]' "$report" ||
    fail "cap $cap: zd-capture counted empty or short samples missing"
  echo "zd-capture cap $cap: $want_empty empty, $want_short short samples at $want"
done
