#!/usr/bin/env bash
# Runs the Windows test suites under load: ctest --preset windows and
# windows32, RUNS times in a row (default 5), with BUSY processes that only
# spin beside them (default two per core). Each run's ctest logs go to
# build/loaded/, with the load average before and after each suite; the last
# line counts the runs that passed. Run .ci/run once first: this builds
# nothing and installs nothing.
#
#   tools/loaded-tests.sh [RUNS] [BUSY]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${1:-5}
busy=${2:-$((2 * $(nproc)))}
for preset in windows windows32; do
  [ -f "build/$preset/CTestTestfile.cmake" ] ||
    { echo "build/$preset is not built: run bash .ci/run first" >&2; exit 2; }
done
out=build/loaded
mkdir -p "$out"
export CI=${CI:-true}
export ZD_WINE_TEMPLATE=$root/build/wineprefix
export ZD_WINEPREFIX=$root/build/tests-prefix

# The busy processes: plain spinning shells, each ended with the script (and
# by its own time limit should the script be killed).
spinners=()
stop_spinners() {
  [ ${#spinners[@]} -eq 0 ] || kill "${spinners[@]}" 2>/dev/null || true
  for prefix in "$ZD_WINEPREFIX" "$ZD_WINE_TEMPLATE"; do
    WINEPREFIX=$prefix wineserver -k </dev/null >/dev/null 2>&1 || true
  done
}
trap stop_spinners EXIT
for _ in $(seq "$busy"); do
  timeout 4h sh -c 'while :; do :; done' &
  spinners+=($!)
done
echo "$busy busy processes on $(nproc) cores; $runs runs of ctest --preset windows and windows32"

load() { cut -d' ' -f1-3 /proc/loadavg; }
passed=0
for run in $(seq "$runs"); do
  WINEPREFIX=$ZD_WINEPREFIX cmake/wine-prefix.sh </dev/null >/dev/null 2>&1
  ok=1
  for preset in windows windows32; do
    log=$out/run$run-$preset.log
    before=$(load)
    start=$(date +%s)
    ctest --preset "$preset" --output-on-failure >"$log" 2>&1 || ok=0
    summary=$(grep -E 'tests passed|tests failed out of' "$log" | tail -n 1)
    echo "run $run $preset: $summary; $(($(date +%s) - start)) s; load $before -> $(load)"
    grep -E '^\s+[0-9]+ - .*\((Failed|Timeout|Not Run|SEGFAULT|Exception)' "$log" || true
  done
  [ $ok = 0 ] || passed=$((passed + 1))
done
echo "loaded runs: $passed passed, $((runs - passed)) failed"
[ "$passed" -eq "$runs" ]
