#!/usr/bin/env bash
# zd-analyse on recordings the Windows capture programs make from the module
# under Wine, a module folder of its own for each.
#
# The Windows ffmpeg (DirectShow): the folder's module (frame code on, or off
# for the status line) registered in the Wine prefix ZD_WINEPREFIX names and
# unregistered at the end. Captures go into NUT: the AVI muxer repeats frames
# to fill late arrivals, which would be the recording's own repeats. A clean
# capture must give a clean report from the native zd-analyse and the same
# counts from zd-analyse.exe reading Y4M on its standard input, both given the
# module's settings.
#
# zd-capture --mf (Media Foundation, nothing registered): the NV12 twin of an
# HDYC preset, with frame code layout 2. Its frames are BT.601 whatever the
# preset's matrix: wrapped by the native ffmpeg without colour tags (NUT) and
# with BT.601 ones (Matroska), and piped as Y4M into zd-analyse.exe, each must
# compare identical with the originals, nothing diagnosed, and the code must
# say the frames are the twin.
#
#   wine_closed_loop.sh WINE_RUN CAPTURE_EXE ANALYSE_EXE ANALYSE_NATIVE MODULE ASSETS OUT
# CAPTURE_EXE: ffmpeg.exe or zd-capture.exe.
set -euo pipefail
wine_run=$1 capture=$2 analyse_exe=$3 analyse=$4 module=$5 assets=$6 out=$7
device="Zintu Dobrel x64"
frames=${ZD_ANALYSE_FRAMES:-150}
mkdir -p "$out"

fail() { echo "FAIL: $*" >&2; exit 1; }
# A value of the JSON report: the first "name": value, without quotes.
field() { sed -n "s/.*\"$1\": \"\{0,1\}\([^\",}]*\).*/\1/p" "$2" | head -1; }
[ -f "$capture" ] || fail "the Windows capture program is missing: $capture"

export WINEPREFIX=$ZD_WINEPREFIX
registered=
cleanup() {
  local rc=$?
  # A passing run keeps its reports, not its recordings (hundreds of MB).
  [ "$rc" = 0 ] && rm -f "$out"/*.nut "$out"/*.y4m "$out"/*.mkv "$out"/*.raw
  [ -n "$registered" ] && "$wine_run" regsvr32 /u /s "Z:$registered" </dev/null >/dev/null 2>&1
  wineserver -k </dev/null >/dev/null 2>&1 || true
}
trap cleanup EXIT

if [[ "$(basename "$capture")" == zd-capture* ]]; then
  dir=$out/module_twin
  mkdir -p "$dir"
  cp "$module" "$assets"/chart.bmp "$assets"/font.bmp "$dir"/
  # One HDYC preset; its NV12 twin follows it as type 1.
  printf '[MAIN]\r\npreset_num=1\r\nframe_code=2\r\n[PRESET_DEF]\r\nw=640\r\nh=360\r\n' \
    >"$dir/ZintuDobrel.ini"
  printf 'fcc=HDYC\r\nframe_time=30\r\nbmp=chart.bmp\r\nfont=font.bmp\r\nscroll_x=2\r\n' \
    >>"$dir/ZintuDobrel.ini"
  printf '[PRESET_01]\r\nenable=1\r\n' >>"$dir/ZintuDobrel.ini"
  raw=$out/twin.raw
  rm -f "$raw"
  "$wine_run" "$capture" --mf --module "Z:$dir/$(basename "$module")" --cap 1 --frames 30 --verify \
    --raw "Z:$raw" </dev/null >"$out/twin_capture.txt" ||
    { cat "$out/twin_capture.txt"; fail "zd-capture --mf could not read the NV12 twin"; }
  grep -q 'NV12' "$out/twin_capture.txt" || fail "type 1 is not the NV12 twin"
  wrap=(ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt nv12 -s 640x360 -r 30)
  "${wrap[@]}" -i "$raw" -c:v rawvideo "$out/twin_untagged.nut"
  "${wrap[@]}" -color_range tv -colorspace smpte170m -color_primaries smpte170m \
    -color_trc smpte170m -i "$raw" -c:v rawvideo "$out/twin_bt601.mkv"
  tags() {
    ffprobe -v error -show_entries stream=color_range,color_space,color_primaries,color_transfer \
      -of csv=p=0 "$1"
  }
  [ "$(tags "$out/twin_untagged.nut")" = unknown,unknown,unknown,unknown ] ||
    fail "twin_untagged.nut declares colours: $(tags "$out/twin_untagged.nut")"
  [ "$(tags "$out/twin_bt601.mkv")" = tv,smpte170m,smpte170m,smpte170m ] ||
    fail "twin_bt601.mkv does not declare BT.601: $(tags "$out/twin_bt601.mkv")"
  ffmpeg -nostdin -v error -y -i "$out/twin_untagged.nut" -f yuv4mpegpipe -pix_fmt yuv420p \
    "$out/twin.y4m"
  for rec in twin_untagged.nut twin_bt601.mkv twin.y4m; do
    json=$out/$rec.json
    rc=0
    if [ "$rec" = twin.y4m ]; then
      "$wine_run" "$analyse_exe" --json --ini "Z:$dir/ZintuDobrel.ini" - <"$out/$rec" >"$json" ||
        rc=$?
    else
      "$analyse" --json --ini "$dir/ZintuDobrel.ini" "$out/$rec" >"$json" || rc=$?
    fi
    echo "== $rec"
    grep -o '"identity_detail": "[^"]*"' "$json" || true
    grep -A3 '"pixels"' "$json" | head -3
    [ "$rc" = 0 ] || fail "$rec: exit code $rc"
    grep -q '"identity_detail": "[^"]*NV12 twin' "$json" ||
      fail "$rec: the code does not say the frames are the NV12 twin"
    grep -q '"compared": true' "$json" || fail "$rec: not compared"
    grep -q '"identical": true' "$json" || fail "$rec: not identical to the originals"
    grep -q '"diagnoses": \[\]' "$json" || fail "$rec: diagnosed $(grep -o '"name": "[^"]*"' "$json")"
  done
  echo "ok: the NV12 twin of an HDYC preset compares identical, with and without colour tags"
  exit 0
fi
ffmpeg_exe=$capture

for code in 1 0; do
  dir=$out/module_$code
  mkdir -p "$dir"
  cp "$module" "$assets"/*.bmp "$dir"/
  sed "s/^\[MAIN\]/[MAIN]\nframe_code=$code/" "$assets/ZintuDobrel.ini" >"$dir/ZintuDobrel.ini"
  "$wine_run" regsvr32 /s "Z:$dir/ZintuDobrel64.ax" </dev/null
  registered=$dir/ZintuDobrel64.ax

  rec=$out/capture_$code.nut
  rm -f "$rec"
  "$wine_run" "$ffmpeg_exe" -hide_banner -loglevel error -f dshow -rtbufsize 200M \
    -pixel_format yuyv422 -video_size 640x480 -framerate 30 -i "video=$device" \
    -frames:v "$frames" -vsync passthrough -c:v rawvideo -y "Z:$rec" </dev/null ||
    fail "ffmpeg could not record (frame_code=$code)"
  "$wine_run" regsvr32 /u /s "Z:$dir/ZintuDobrel64.ax" </dev/null
  registered=

  json=$rec.json
  rc=0
  "$analyse" --json --ini "$dir/ZintuDobrel.ini" "$rec" >"$json" || rc=$?
  cat "$json"
  [ "$rc" = 0 ] || fail "capture_$code: exit code $rc on a clean capture"
  want="frame code"
  [ "$code" = 0 ] && want="status line"
  [ "$(field identity "$json")" = "$want" ] || fail "capture_$code: identity is not $want"
  [ "$(field readable "$json")" = "$frames" ] || fail "capture_$code: not every frame read"
  for n in missing repeated out_of_order restarts; do
    [ "$(field $n "$json")" = 0 ] || fail "capture_$code: $n is not 0"
  done

  # The Windows build, Y4M on its standard input, as a Windows user pipes it.
  ffmpeg -nostdin -v error -y -i "$rec" -vsync passthrough -f yuv4mpegpipe -pix_fmt yuv422p "$out/capture_$code.y4m"
  rc=0
  "$wine_run" "$analyse_exe" --json --ini "Z:$dir/ZintuDobrel.ini" - <"$out/capture_$code.y4m" \
    >"$json.win" || rc=$?
  [ "$rc" = 0 ] || fail "capture_$code: zd-analyse.exe exit code $rc"
  for n in readable first_frame last_frame missing repeated out_of_order; do
    [ "$(field $n "$json.win")" = "$(field $n "$json")" ] ||
      fail "capture_$code: zd-analyse.exe gives another $n"
  done
  # With the code, the Windows build compares the Y4M's pixels too.
  if [ "$code" = 1 ]; then
    grep -q '"identical": true' "$json.win" || fail "capture_1: zd-analyse.exe: pixels not identical"
  fi
  rm -f "$out/capture_$code.y4m"
done
echo "ok: clean captures give clean reports, in both builds"

# The pixels of each of the six formats as the Windows ffmpeg records them:
# compared with the originals made again, identical, nothing to diagnose.
dir=$out/module_1
"$wine_run" regsvr32 /s "Z:$dir/ZintuDobrel64.ax" </dev/null
registered=$dir/ZintuDobrel64.ax
while read -r name pf size rate stored; do
  rec=$out/pixels_$name.nut
  rm -f "$rec"
  "$wine_run" "$ffmpeg_exe" -hide_banner -loglevel error -f dshow -rtbufsize 200M \
    -pixel_format "$pf" -video_size "$size" -framerate "$rate" -i "video=$device" \
    -frames:v 30 -vsync passthrough -c:v rawvideo -pix_fmt "$stored" -y "Z:$rec" </dev/null ||
    fail "ffmpeg could not record $name"
  json=$rec.json
  rc=0
  "$analyse" --json --ini "$dir/ZintuDobrel.ini" "$rec" >"$json" || rc=$?
  grep -A3 '"pixels"' "$json" | head -3
  [ "$rc" = 0 ] || fail "pixels_$name: exit code $rc"
  grep -q '"compared": true' "$json" || fail "pixels_$name: not compared"
  grep -q '"identical": true' "$json" || fail "pixels_$name: not identical to the originals"
  grep -q '"diagnoses": \[\]' "$json" || fail "pixels_$name: diagnosed $(grep -o '"name": "[^"]*"' "$json")"
done <<'TABLE'
RGB32 bgr0 640x480 30 bgra
RGB24 bgr24 640x480 30 bgr24
YUY2 yuyv422 640x480 30 yuyv422
YVYU yvyu422 640x480 60 yvyu422
UYVY uyvy422 640x480 59.94 uyvy422
HDYC uyvy422 1280x720 59.94 uyvy422
TABLE
"$wine_run" regsvr32 /u /s "Z:$dir/ZintuDobrel64.ax" </dev/null
registered=
echo "ok: every format's pixels compared, nothing diagnosed"

# Faults on demand, where the settings ship presets with them: the frames the
# fault log says were lost, repeated or reordered are exactly what zd-analyse
# reports, and delivery and stamp faults alone change no frame's place.
if ! grep -q '^fault_loss_every' "$assets/ZintuDobrel.ini"; then
  echo "note: the settings ship no presets with faults; fault checks skipped"
  exit 0
fi
dir=$out/module_faults
mkdir -p "$dir"
cp "$module" "$assets"/*.bmp "$dir"/
sed 's/^\[MAIN\]/[MAIN]\nframe_code=1/; s/^fault_log=.*/fault_log=faults.txt/' \
  "$assets/ZintuDobrel.ini" >"$dir/ZintuDobrel.ini"
grep -q '^fault_log=faults.txt' "$dir/ZintuDobrel.ini" || fail "no fault_log key to set"
"$wine_run" regsvr32 /s "Z:$dir/ZintuDobrel64.ax" </dev/null
registered=$dir/ZintuDobrel64.ax
failures=0
# pixel format and size of the fault presets: 640x360 YUY2 (loss), UYVY
# (repeat and reorder), RGB32 (jitter, stall, stamps).
for pf in yuyv422 uyvy422 bgr0; do
  rec=$out/faults_$pf.nut
  stored=$pf
  [ "$pf" = bgr0 ] && stored=bgra
  rm -f "$rec" "$dir/faults.txt"
  "$wine_run" "$ffmpeg_exe" -hide_banner -loglevel error -f dshow -rtbufsize 200M \
    -pixel_format "$pf" -video_size 640x360 -framerate 30 -i "video=$device" \
    -frames:v "$frames" -vsync passthrough -c:v rawvideo -pix_fmt "$stored" -y "Z:$rec" \
    </dev/null || fail "ffmpeg could not record $pf with faults"
  json=$rec.json
  "$analyse" --json --ini "$dir/ZintuDobrel.ini" "$rec" >"$json" || true
  last=$(field last_frame "$json")
  [ -n "$last" ] && [ "$last" != null ] || fail "$pf: no frame read"
  # Faults on frames the recording holds whole (a frame held back past the
  # end would be missing as well).
  count() { tr -d '\r' <"$dir/faults.txt" | awk -v k="$1" -v l="$last" '$2 == k && $1 < l - 1' | wc -l; }
  expected="missing=$(count loss) repeated=$(count repeat) out_of_order=$(count reorder)"
  got="missing=$(field missing "$json") repeated=$(field repeated "$json") out_of_order=$(field out_of_order "$json")"
  echo "== $pf: fault log: $expected; zd-analyse: $got"
  if [ "$expected" != "$got" ] || [ "$(field restarts "$json")" != 0 ]; then
    echo "FAIL: $pf: zd-analyse does not report exactly the injected faults" >&2
    failures=$((failures + 1))
  fi
done
[ $failures -eq 0 ] || exit 1
echo "ok: exactly the injected faults reported"
