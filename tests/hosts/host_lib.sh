# Shell functions the host tests share; sourced, not run. Reports are read
# with grep and awk alone: an absent value reads as empty, never as an early
# end of the calling script (which runs with set -euo pipefail).

# Without the Windows ffmpeg a host test is skipped (ctest: exit code 77),
# but not in CI, where every host test must run.
#   need_windows_ffmpeg FFMPEG
need_windows_ffmpeg() {
  [ -f "$1" ] && return 0
  echo "The Windows ffmpeg is not installed: $1" >&2
  echo "Install it with: npm install --prefix build/npm --force" \
    "@ffmpeg-installer/$(basename "$(dirname "$1")")" >&2
  if [ -n "${CI:-}" ]; then
    echo "FAIL: CI is set, and CI runs every host test" >&2
    exit 1
  fi
  echo "SKIP: this host test needs it" >&2
  exit 77
}

# Registers a module folder's filter in the prefix that ZD_WINEPREFIX names,
# and unregisters it (and stops the prefix's server) when the script ends.
#   register_module WINE_RUN REGSVR32 MODULE   (MODULE a Windows path: Z:/...)
register_module() {
  export WINEPREFIX=$ZD_WINEPREFIX
  registered_run=$1 registered_tool=$2 registered_module=$3
  "$registered_run" "$registered_tool" /s "$registered_module" </dev/null
  trap unregister_module EXIT
}
unregister_module() {
  "$registered_run" "$registered_tool" /u /s "$registered_module" </dev/null >/dev/null 2>&1 || true
  wineserver -k </dev/null >/dev/null 2>&1 || true
}

# json_value FILE KEY: the first value of "KEY": in a JSON report (a string
# without its quotes).
json_value() {
  { grep -o "\"$2\": [^,}]*" "$1" || true; } | head -n 1 | sed 's/^[^:]*: //; s/^"//; s/"$//'
}

# The numbers of a key's list in a JSON report, up to a last value, one a line.
json_list() {
  { grep -o "\"$2\": \[[^]]*\]" "$1" || true; } | head -n 1 | sed 's/.*\[//; s/\]//' |
    tr ',' '\n' | awk -v last="$3" 'NF && $1 <= last { print $1 + 0 }'
}

# Frames N, 2N, ... up to LAST (and the K - 1 after each), one a line.
every() {
  awk -v n="$1" -v last="$2" -v k="${3:-1}" \
    'BEGIN { if (n > 0) for (f = n; f <= last; f += n) for (j = 0; j < k && f + j <= last; j++) print f + j }'
}

# Lines joined with spaces.
list() { tr '\n' ' ' | sed 's/ *$//'; }

# A check of a value against what was expected; the caller's fail() counts it.
#   expect CASE WHAT ACTUAL EXPECTED
expect() { [ "$3" = "$4" ] || fail "$1 $2: [$3], expected [$4]"; }

# zd-capture --verify's findings in a JSON report against one kind of fault
# injected every N frames: that kind's list holds exactly those frames up to
# UPTO (a freeze the two frames from each), every other list none.
#   expect_findings CASE KIND N UPTO JSON [MISSING]   (KIND: clean, loss,
#   repeat, reorder, stall, no_time, freeze, or partial: empty or short
#   samples; MISSING: the frames expected missing besides, space-separated)
expect_findings() {
  local name=$1 kind=$2 n=$3 upto=$4 json=$5
  local missing=${6-} repeated= ooo= no_time= wrong= stalled= partial=
  case $kind in
    loss) missing=$(every "$n" "$upto" | list) ;;
    repeat) repeated=$(every "$n" "$upto" | list) ;;
    reorder) ooo=$(every "$n" "$upto" | list) ;;
    stall) stalled=$(every "$n" "$upto" | list) ;;
    no_time) no_time=$(every "$n" "$upto" | list) ;;
    freeze) wrong=$(every "$n" "$upto" 2 | list) ;;
    partial) partial=$(every "$n" "$upto" | list) ;;
  esac
  expect "$name" missing "$(json_list "$json" missing "$upto" | list)" "$missing"
  expect "$name" repeated "$(json_list "$json" repeated "$upto" | list)" "$repeated"
  expect "$name" out_of_order "$(json_list "$json" out_of_order "$upto" | list)" "$ooo"
  expect "$name" without_time "$(json_list "$json" without_time "$upto" | list)" "$no_time"
  expect "$name" wrong_time "$(json_list "$json" wrong_time "$upto" | list)" "$wrong"
  expect "$name" stalled "$(json_list "$json" stalled "$upto" | list)" "$stalled"
  expect "$name" partial "$(json_list "$json" partial "$upto" | list)" "$partial"
}
