#!/usr/bin/env bash
# Makes the Windows release package from the two release builds.
#
#   tools/package/make-package.sh [--build64 DIR] [--build32 DIR] [--out DIR]
#
# Defaults: build/release64, build/release32 (cmake --preset release64 &&
# cmake --build --preset release64, the same for release32) and build/package.
# Writes OUT/ZintuDobrel-<version>-windows.zip, one folder
# ZintuDobrel-<version>/ inside: both modules, the settings file, the
# bitmaps, zd-capture.exe and zd-analyse.exe (x86/ holds the 32-bit ones,
# with the settings and font sheets zd-analyse reads), zd-vcam.exe (the
# Windows 11 virtual camera's registrar, 64-bit only), README-windows.txt, LICENSE.txt,
# install.cmd and uninstall.cmd. The debug information of the modules and
# tools goes to OUT/ZintuDobrel-<version>-symbols/, not into the zip. The
# version is the CMake project version of the builds.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build64=$root/build/release64
build32=$root/build/release32
out=$root/build/package
while [ $# -gt 0 ]; do
  case $1 in
    --build64) build64=$2; shift 2 ;;
    --build32) build32=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    -h|--help) sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "make-package: unknown argument '$1' (see --help)" >&2; exit 2 ;;
  esac
done

fail() { echo "make-package: $*" >&2; exit 1; }

# The version the builds were configured with (project() in CMakeLists.txt).
version_of() {
  [ -f "$1/CMakeCache.txt" ] || fail "$1 is not a configured build (cmake --preset ...)"
  sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$1/CMakeCache.txt"
}
version=$(version_of "$build64")
[ -n "$version" ] || fail "no project version in $build64/CMakeCache.txt"
[ "$(version_of "$build32")" = "$version" ] || fail "$build64 and $build32 have different versions"

# One built file: it must exist and carry no debug information in the file
# (a release build moves it into <file>.debug).
built() {
  [ -f "$1" ] || fail "missing $1 (build the release presets first)"
  [ -f "$1.debug" ] || fail "missing $1.debug: $(dirname "$1") is not a release build"
  echo "$1"
}

name=ZintuDobrel-$version
stage=$out/$name
symbols=$out/$name-symbols
zip=$out/$name-windows.zip
rm -rf "$stage" "$symbols" "$zip"
mkdir -p "$stage/x86" "$symbols/x86"

ship() {  # ship FILE DEST_SUBDIR
  local file
  file=$(built "$1")
  cp "$file" "$stage/$2/"
  cp "$file.debug" "$symbols/$2/"
}
ship "$build64/server/ZintuDobrel64.ax" .
ship "$build32/server/ZintuDobrel32.ax" .
ship "$build64/tools/capture/zd-capture.exe" .
ship "$build32/tools/capture/zd-capture.exe" x86
ship "$build64/tools/analyse/zd-analyse.exe" .
ship "$build32/tools/analyse/zd-analyse.exe" x86
ship "$build64/tools/vcam/zd-vcam.exe" .

for asset in ZintuDobrel.ini chart.bmp chart_small.bmp font.bmp font_large.bmp; do
  cp "$root/assets/$asset" "$stage/"
done
# zd-analyse reads the settings, the font sheets and the backgrounds beside
# itself (the backgrounds to make the original frames again).
for asset in ZintuDobrel.ini chart.bmp chart_small.bmp font.bmp font_large.bmp; do
  cp "$root/assets/$asset" "$stage/x86/"
done
cp "$here/README-windows.txt" "$here/LICENSE.txt" "$stage/"
# Windows line ends for what a user reads or runs.
for text in README-windows.txt LICENSE.txt install.cmd uninstall.cmd; do
  src=$here/$text
  [ -f "$stage/$text" ] && src=$stage/$text
  sed 's/\r*$/\r/' "$src" >"$stage/$text.crlf"
  mv "$stage/$text.crlf" "$stage/$text"
done

(cd "$out" && cmake -E tar cf "$zip" --format=zip "$name")
echo "package: $zip ($(stat -c %s "$zip") bytes)"
(cd "$stage" && find . -type f -printf '%P\t%s\n' | sort) | awk -F'\t' '{ printf "  %-24s %9d bytes\n", $1, $2 }'
echo "symbols (not in the zip): $symbols"
(cd "$symbols" && find . -type f -printf '%P\t%s\n' | sort) | awk -F'\t' '{ printf "  %-24s %9d bytes\n", $1, $2 }'
