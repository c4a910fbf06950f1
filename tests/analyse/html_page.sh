#!/usr/bin/env bash
# zd-analyse's web page as Chromium renders it: a recording with frames
# removed, one repeated and one whose code is covered, analysed with --json
# and --html; in the DOM Chromium builds from the page there is one anomaly
# marker in the timeline and one row in the list for every event of the JSON
# report, the recording's name (with markup characters in it) stays text, and
# the page asks for nothing from elsewhere. A screenshot is kept in WORKDIR.
# usage: html_page.sh PREVIEW ANALYSE INI CHROMIUM WORKDIR
set -euo pipefail
preview=$1 analyse=$2 ini=$3 chromium=$4 work=$5
rm -rf "$work"
mkdir -p "$work"
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }
count() { grep -o "$1" "$2" | wc -l; }

# 120 coded frames of 640 x 480 YUY2; frames 20-22 removed, frame 60 shown
# twice, the code block of frame 90 painted over, a red square on the
# picture of the 101st to 108th frames recorded (the worst frame the page
# shows: a steady recording's comparison looks at every 4th frame).
"$preview" --ini "$ini" --preset 5 --frames 120 --frame-code 1 --format raw --out frames.raw \
  >/dev/null
rec='rec <i>&"x".mkv'
ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt yuyv422 -s 640x480 -r 30 -i frames.raw \
  -vf "select='not(between(n\,20\,22))',loop=loop=1:size=1:start=57,drawbox=x=0:y=130:w=150:h=100:color=gray:t=fill:enable='eq(n\,90)',drawbox=x=300:y=200:w=40:h=40:color=red:t=fill:enable='between(n\,100\,107)'" \
  -fps_mode passthrough -c:v ffv1 "$rec"
rm -f frames.raw

rc=0
"$analyse" --json --html report.html "$rec" >report.json || rc=$?
[ "$rc" = 1 ] || fail "exit code $rc, expected 1 (anomalies)"
events=$(count '"event": ' report.json)
for kind in after-gap repeated unreadable; do
  grep -q "\"event\": \"$kind\"" report.json || fail "the recording shows no $kind event"
done

# Nothing from elsewhere: no href or url() at all, and src only for the
# pictures held in the page itself (data: addresses).
if grep -Eq 'href=|url\(' report.html ||
  grep -Eo 'src="[^"]{0,6}' report.html | grep -qv '^src="data:i'; then
  fail "the page refers to other files"
fi
grep -q 'src="data:image/bmp;base64,' report.html || fail "the page shows no frame pictures"

profile=$work/chromium-profile
browse() {
  timeout 120 "$chromium" --headless --no-sandbox --disable-gpu --disable-dev-shm-usage \
    --user-data-dir="$profile" --hide-scrollbars "$@" 2>chromium.log
}
browse --dump-dom "file://$work/report.html" >dom.html || fail "chromium could not load the page"
marks=$(count 'class="anomaly-mark' dom.html)
rows=$(count 'class="anomaly-row"' dom.html)
echo "JSON events: $events; timeline markers: $marks; listed: $rows"
[ "$events" -gt 0 ] || fail "no events in the JSON report"
[ "$marks" = "$events" ] || fail "$marks markers for $events events"
[ "$rows" = "$events" ] || fail "$rows rows for $events events"
# The name is text: Chromium made no <i> element of it.
if grep -q '<i>' dom.html; then fail "the recording's name became markup"; fi
grep -q 'rec &lt;i&gt;&amp;"x".mkv' dom.html || fail "the recording's name is not shown"

browse --window-size=1200,1100 --screenshot="$work/report.png" "file://$work/report.html" ||
  fail "no screenshot"
[ -s report.png ] || fail "empty screenshot"
echo "screenshot: $work/report.png"
