#!/usr/bin/env bash
# The golden hash of MJPG frames (tests/golden/mjpg_frames.cpp): the same
# bytes from every build, natively and from the 64- and 32-bit Windows builds
# under Wine. Record anew (only after a deliberate change to the picture or
# the encoder) with --record.
#
#   mjpg_golden.sh RUNNER MJPG_FRAMES ASSETS_DIR GOLDEN_FILE WORK_DIR [--record]
#
# RUNNER is "-" natively, else what runs the program (cmake/wine-run.sh).
set -euo pipefail
runner=$1 program=$2 assets=$3 golden=$4 work=$5 record=${6:-}
mkdir -p "$work"
out=$work/mjpg_frames.bin
rm -f "$out"
path=$out
run=("$program")
if [ "$runner" != - ]; then
  run=("$runner" "$program")
  path=Z:$out
  assets=Z:$assets
fi
"${run[@]}" "$assets" "$path" </dev/null
hash=$(sha256sum <"$out" | cut -d' ' -f1)
if [ "$record" = --record ]; then
  echo "mjpg $hash" >"$golden"
  echo "recorded: mjpg $hash"
  exit 0
fi
expected=$(sed -n 's/^mjpg \([0-9a-f]*\)$/\1/p' "$golden")
if [ "$hash" = "$expected" ]; then
  echo "MJPG frames: golden hash unchanged ($hash)"
  exit 0
fi
echo "FAIL: MJPG frames hash $hash, golden $expected" >&2
exit 1
