#!/usr/bin/env bash
# Builds libjpeg-turbo (the MJPG encoder and the Windows tools' decoder) from
# Debian's source package for both Windows bitnesses: static libraries (the
# TurboJPEG and the libjpeg API, SIMD on with nasm) made with the mingw-w64
# posix compilers, so the module still needs nothing at run time but the
# system.
#
#   cmake/libjpeg-turbo.sh [x86_64-w64-mingw32] [i686-w64-mingw32]
#
# Without arguments both are built. The source goes to build/deps/src, each
# build to build/deps/<triplet> (include/, lib/, LICENSE.md, README.ijg); a
# stamp file there marks a finished build, which is kept: a second run costs
# nothing. Delete build/deps to build anew. The source is fetched with apt's
# source mechanism from the suite the system installs from (a deb-src entry is
# added for it); fetching and installing packages needs root.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
version=2.1.5
deps=$root/build/deps
triplets=("$@")
[ ${#triplets[@]} -gt 0 ] || triplets=(x86_64-w64-mingw32 i686-w64-mingw32)

todo=()
for t in "${triplets[@]}"; do
  case $t in
    x86_64-w64-mingw32 | i686-w64-mingw32) ;;
    *) echo "libjpeg-turbo.sh: unknown triplet $t (x86_64-w64-mingw32 or i686-w64-mingw32)" >&2; exit 1 ;;
  esac
  [ -f "$deps/$t/libjpeg-turbo-$version.stamp" ] || todo+=("$t")
done
[ ${#todo[@]} -gt 0 ] || exit 0

# The tools: nasm for the SIMD code, dpkg-dev for apt-get source.
packages=(nasm dpkg-dev cmake ninja-build)
for t in "${todo[@]}"; do
  case $t in
    x86_64*) packages+=(gcc-mingw-w64-x86-64-posix) ;;
    i686*) packages+=(gcc-mingw-w64-i686-posix) ;;
  esac
done
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "libjpeg-turbo.sh: installing ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

src=$deps/src/libjpeg-turbo-$version
if [ ! -f "$src/turbojpeg.h" ]; then
  # A deb-src entry for each deb entry of the system's own sources (same
  # mirror, suites and keys), in a file of its own.
  list=/etc/apt/sources.list.d/zd-deb-src.sources
  if [ ! -f "$list" ]; then
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
         /(^|\n)Types:[^\n]*deb([ \n]|$)/ && !/deb-src/ {
           gsub(/(^|\n)#[^\n]*/, ""); sub(/^\n/, "")
           sub(/Types:[^\n]*/, "Types: deb-src"); print }' \
      /etc/apt/sources.list.d/debian.sources >"$list.tmp"
    [ -s "$list.tmp" ] || { echo "libjpeg-turbo.sh: no deb entries in debian.sources" >&2; exit 1; }
    mv "$list.tmp" "$list"
    apt-get update -q
  fi
  mkdir -p "$deps/src"
  # Bookworm's libjpeg-turbo is 2.1.5 (with Debian's patches); the check
  # below stops a suite with another version.
  (cd "$deps/src" && apt-get source -q -o APT::Sandbox::User=root libjpeg-turbo)
  found=$(find "$deps/src" -maxdepth 1 -type d -name "libjpeg-turbo-$version*" | head -n1)
  [ -n "$found" ] && [ -f "$found/turbojpeg.h" ] ||
    { echo "libjpeg-turbo.sh: no libjpeg-turbo $version source in $deps/src" >&2; exit 1; }
  [ "$found" = "$src" ] || mv "$found" "$src"
fi

for t in "${todo[@]}"; do
  case $t in
    x86_64*) processor=AMD64 ;;
    i686*) processor=i686 ;;
  esac
  out=$deps/$t
  work=$deps/build-$t
  rm -rf "$out" "$work"
  # Only the two static libraries are built: the command-line programs and
  # the shared libraries are not needed.
  cmake -S "$src" -B "$work" -G Ninja \
    -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_SYSTEM_PROCESSOR=$processor \
    -DCMAKE_C_COMPILER=$t-gcc-posix -DCMAKE_RC_COMPILER=$t-windres \
    -DCMAKE_ASM_NASM_COMPILER=nasm -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_FLAGS="-O2" \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=ON -DWITH_SIMD=ON -DREQUIRE_SIMD=ON \
    -DWITH_JAVA=OFF -DCMAKE_INSTALL_PREFIX="$out" >"$deps/build-$t.log" 2>&1 ||
    { tail -30 "$deps/build-$t.log" >&2; exit 1; }
  cmake --build "$work" --target jpeg-static turbojpeg-static >>"$deps/build-$t.log" 2>&1 ||
    { tail -30 "$deps/build-$t.log" >&2; exit 1; }
  mkdir -p "$out/include" "$out/lib"
  cp "$src/jpeglib.h" "$src/jmorecfg.h" "$src/jerror.h" "$src/turbojpeg.h" "$work/jconfig.h" "$out/include/"
  cp "$work/libjpeg.a" "$work/libturbojpeg.a" "$out/lib/"
  cp "$src/LICENSE.md" "$src/README.ijg" "$out/"
  rm -rf "$work"
  echo "$version $(date -u +%FT%TZ)" >"$out/libjpeg-turbo-$version.stamp"
  echo "libjpeg-turbo $version for $t: $out"
done
