#!/usr/bin/env bash
# Checks the Windows release package made by make-package.sh.
#
#   tools/package/check-package.sh ZIP [--no-wine]
#
# - the file names: exactly the files a user gets;
# - the version resources of the modules and tools: file and product version
#   equal the project version in CMakeLists.txt, the original file name is
#   the file's own name, the modules' descriptions name their bitness;
# - the modules and tools hold no debug sections, are built for the right
#   processor and import system DLLs only;
# - under Wine (unless --no-wine), in a prefix of its own copied from the
#   template prefix (ZD_WINE_TEMPLATE, default build/wineprefix), which it
#   leaves as it was: install.cmd registers both modules from the
#   installation folder, the zd-capture of each bitness lists its device, and
#   uninstall.cmd leaves the classes in the registry exactly as they were
#   before; the installed modules stream a few frames. install.cmd runs with
#   /vcam: zd-vcam --install says Wine has no virtual cameras and registers no
#   media source, install.cmd still succeeds; uninstall.cmd runs zd-vcam
#   --remove and takes "not available" in its stride. Once with the 64-bit
#   cmd installing and the 32-bit cmd uninstalling, once the other way round
#   (the 32-bit cmd reaches the 64-bit regsvr32 through Sysnative).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
zip=${1:?usage: check-package.sh ZIP [--no-wine]}
wine_checks=1
[ "${2:-}" = "--no-wine" ] && wine_checks=0
zip=$(cd "$(dirname "$zip")" && pwd)/$(basename "$zip")

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
ok() { echo "ok: $*"; }

# The project version, read from CMakeLists.txt itself.
version=$(sed -nE 's/^project\(ZintuDobrel VERSION ([0-9.]+).*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || { echo "check-package: no project version in CMakeLists.txt" >&2; exit 2; }
name=ZintuDobrel-$version
[ "$(basename "$zip")" = "$name-windows.zip" ] || fail "zip named $(basename "$zip"), expected $name-windows.zip"

work=$(mktemp -d "${TMPDIR:-/tmp}/zd-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
(cd "$work" && cmake -E tar xf "$zip")
pkg=$work/$name
[ -d "$pkg" ] || { echo "FAIL: the zip holds no folder $name" >&2; exit 1; }

# 1. File names.
expected="LICENSE.txt README-windows.txt ZintuDobrel.ini ZintuDobrel32.ax ZintuDobrel64.ax
chart.bmp chart_small.bmp font.bmp font_large.bmp install.cmd uninstall.cmd
x86/zd-capture.exe zd-capture.exe x86/zd-analyse.exe zd-analyse.exe zd-vcam.exe
x86/ZintuDobrel.ini x86/chart.bmp x86/chart_small.bmp x86/font.bmp x86/font_large.bmp"
actual=$(cd "$work" && find . -type f | sed 's|^\./||' | sort)
want=$(for f in $expected; do echo "$name/$f"; done | sort)
if [ "$actual" = "$want" ]; then
  ok "files: $(echo "$actual" | wc -l) as expected"
else
  fail "files differ from the expected set:"
  diff <(echo "$want") <(echo "$actual") >&2 || true
fi

# 2-4. Each module and tool: version resource, no debug sections, processor,
# imports.
system_dlls=" advapi32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll user32.dll "
system_dlls+="winmm.dll quartz.dll psapi.dll shell32.dll comctl32.dll comdlg32.dll "
check_binary() {  # FILE BITS DESCRIPTION_PART
  local file=$1 bits=$2 part=$3 tool rc base format imports dll
  base=$(basename "$file")
  if [ "$bits" = 64 ]; then tool=x86_64-w64-mingw32 format=pei-x86-64; else tool=i686-w64-mingw32 format=pei-i386; fi
  rc=$("$tool-windres" -i "$file" -O rc 2>/dev/null || true)
  for key in FileVersion ProductVersion; do
    grep -qF "VALUE \"$key\", \"$version\"" <<<"$rc" || fail "$file: $key is not \"$version\""
  done
  grep -qF "FILEVERSION ${version//./, }, 0" <<<"$rc" || fail "$file: FILEVERSION is not $version"
  grep -qF "VALUE \"OriginalFilename\", \"$base\"" <<<"$rc" || fail "$file: OriginalFilename is not $base"
  grep -qF "VALUE \"ProductName\", \"Zintu Dobrel\"" <<<"$rc" || fail "$file: ProductName is not Zintu Dobrel"
  grep -qE "VALUE \"FileDescription\", \"[^\"]*$part" <<<"$rc" || fail "$file: FileDescription lacks \"$part\""
  if "$tool-objdump" -h "$file" | grep -qE ' \.debug_'; then
    fail "$file: has debug sections"
  fi
  "$tool-objdump" -f "$file" | grep -q "file format $format" || fail "$file: not $format"
  imports=$("$tool-objdump" -p "$file" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z')
  for dll in $imports; do
    [[ "$system_dlls" == *" $dll "* ]] || fail "$file imports $dll, not a system DLL"
  done
  ok "$base ($bits-bit): version $version, $(stat -c %s "$file") bytes, no debug sections, imports $(echo $imports | tr ' ' ',')"
}
check_binary "$pkg/ZintuDobrel64.ax" 64 "Zintu Dobrel x64"
check_binary "$pkg/ZintuDobrel32.ax" 32 "Zintu Dobrel x86"
check_binary "$pkg/zd-capture.exe" 64 "(x64)"
check_binary "$pkg/x86/zd-capture.exe" 32 "(x86)"
check_binary "$pkg/zd-analyse.exe" 64 "(x64)"
check_binary "$pkg/x86/zd-analyse.exe" 32 "(x86)"
check_binary "$pkg/zd-vcam.exe" 64 "(x64)"
for script in install.cmd uninstall.cmd; do
  if grep -q $'[^\r]$' "$pkg/$script"; then fail "$script: lines without CRLF"; fi
done

if [ $wine_checks = 1 ]; then
  export ZD_WINE_TEMPLATE=${ZD_WINE_TEMPLATE:-$root/build/wineprefix}
  export ZD_WINEPREFIX=$root/build/package/wineprefix
  wine_run=$root/cmake/wine-run.sh
  "$wine_run" cmd /c exit 0 </dev/null >/dev/null 2>&1  # a warm prefix and server
  trap 'WINEPREFIX=$ZD_WINEPREFIX wineserver -k </dev/null >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
  # With 32-bit Wine installed, "wine" starts Wine's own programs (cmd, reg,
  # regedit) as 32-bit ones; wine64 starts the 64-bit ones.
  wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)
  wine64_run() { WINEPREFIX=$ZD_WINEPREFIX WINEDEBUG=-all "$wine64" "$@"; }
  wine32_run() { WINEPREFIX=$ZD_WINEPREFIX WINEDEBUG=-all wine "$@"; }
  win_pkg="Z:${pkg//\//\\}"
  dest='C:\Program Files\Zintu Dobrel'
  clsid='{DE946144-E77A-42EE-93BE-7E3E48DA72FA}'
  media_source='{2F270E13-5C19-4715-AAC6-34EF9557D3CB}'

  # Every class of both registry views, as .reg text.
  snapshot() {
    local out=$1 key
    : >"$out"
    for key in 'HKEY_LOCAL_MACHINE\Software\Classes' 'HKEY_LOCAL_MACHINE\Software\Wow6432Node\Classes'; do
      wine64_run regedit /E "Z:${work//\//\\}\\snap.reg" "$key" </dev/null >/dev/null 2>&1 || true
      [ -f "$work/snap.reg" ] && iconv -f UTF-16LE -t UTF-8 "$work/snap.reg" | tr -d '\r' >>"$out"
      rm -f "$work/snap.reg"
    done
    [ -s "$out" ] || { echo "check-package: could not export the registry" >&2; exit 2; }
  }
  # The InprocServer32 path of the filter class in one view (64 or 32).
  server_path() {
    "$wine_run" reg query "HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" /ve "/reg:$1" \
      </dev/null 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p'
  }
  devices() {  # ZD_CAPTURE
    "$wine_run" "$1" --list-devices </dev/null 2>/dev/null | tr -d '\r'
  }
  run_cmd() {  # 64|32 SCRIPT [ARGS]: the script in the 64-bit or the 32-bit cmd
    "wine$1_run" cmd /c "$win_pkg\\$2" /quiet "${@:3}" </dev/null >"$work/cmd.txt" 2>&1
    local code=$?
    tr -d '\r' <"$work/cmd.txt" | sed 's/^/    /'
    return $code
  }
  installed_files() {
    find "$ZD_WINEPREFIX/drive_c/Program Files/Zintu Dobrel" -type f 2>/dev/null | wc -l
  }

  # The video capture category's Instance key is there wherever a capture
  # device was ever registered, and unregistering leaves it (empty), as the
  # system's filter mapper does; a fresh prefix has none yet.
  for view in 64 32; do
    wine64_run reg add 'HKLM\Software\Classes\CLSID\{860BB310-5D01-11D0-BD3B-00A0C911CE86}\Instance' \
      /f /reg:$view </dev/null >/dev/null 2>&1 || true
  done

  round() {  # INSTALL_CMD UNINSTALL_CMD LABEL [capture]
    local label=$3 before=$work/before.reg after=$work/after.reg
    snapshot "$before"
    [ -z "$(server_path 64)" ] && [ -z "$(server_path 32)" ] ||
      { fail "$label: a registration is present before install"; return; }
    echo "$label: install.cmd /vcam"
    run_cmd "$1" install.cmd /vcam || fail "$label: install.cmd /vcam failed"
    grep -qF "this Windows has no virtual cameras: mfsensorgroup.dll" "$work/cmd.txt" ||
      fail "$label: install.cmd /vcam did not pass on why there is no virtual camera"
    grep -qF "The DirectShow camera is installed as usual." "$work/cmd.txt" ||
      fail "$label: install.cmd /vcam did not say the DirectShow camera is installed"
    "$wine_run" reg query "HKLM\\Software\\Classes\\CLSID\\$media_source" /reg:64 </dev/null >/dev/null 2>&1 &&
      fail "$label: install.cmd /vcam registered the media source where there are no virtual cameras"
    [ "$(server_path 64)" = "$dest\\ZintuDobrel64.ax" ] ||
      fail "$label: 64-bit InprocServer32 is '$(server_path 64)'"
    [ "$(server_path 32)" = "$dest\\ZintuDobrel32.ax" ] ||
      fail "$label: 32-bit InprocServer32 is '$(server_path 32)'"
    devices "$pkg/zd-capture.exe" | grep -qx "Zintu Dobrel x64" ||
      fail "$label: the 64-bit zd-capture does not list \"Zintu Dobrel x64\""
    devices "$pkg/x86/zd-capture.exe" | grep -qx "Zintu Dobrel x86" ||
      fail "$label: the 32-bit zd-capture does not list \"Zintu Dobrel x86\""
    if [ "${4:-}" = capture ]; then
      # The installed (stripped) modules stream: a few frames from each.
      "$wine_run" "$pkg/zd-capture.exe" --frames 5 </dev/null >"$work/capture64.txt" 2>&1 ||
        fail "$label: zd-capture could not capture from \"Zintu Dobrel x64\""
      "$wine_run" "$pkg/x86/zd-capture.exe" --frames 5 </dev/null >"$work/capture32.txt" 2>&1 ||
        fail "$label: x86/zd-capture could not capture from \"Zintu Dobrel x86\""
    fi
    local installed
    installed=$(installed_files)
    [ "$installed" = 10 ] || fail "$label: $installed files installed, expected 10"
    if [ "${4:-}" = capture ]; then in_use "$label"; fi
    echo "$label: uninstall.cmd"
    run_cmd "$2" uninstall.cmd || fail "$label: uninstall.cmd failed"
    grep -qF "No Windows 11 virtual camera on this Windows: nothing to remove." "$work/cmd.txt" ||
      fail "$label: uninstall.cmd did not run zd-vcam --remove"
    [ ! -e "$ZD_WINEPREFIX/drive_c/Program Files/Zintu Dobrel" ] ||
      fail "$label: the installation folder is left"
    snapshot "$after"
    if diff -u "$before" "$after" >"$work/registry.diff"; then
      ok "$label: install.cmd registered both modules; uninstall.cmd left the registry as before"
    else
      fail "$label: the registry differs after uninstall.cmd:"
      head -40 "$work/registry.diff" >&2
    fi
  }
  # While an application has the 32-bit module loaded, install.cmd (an
  # upgrade) and uninstall.cmd refuse, say why and change nothing.
  in_use() {  # LABEL
    local label=$1 frames=$work/holder holder registry_before registry_after
    mkdir -p "$frames"
    "$wine_run" "$pkg/x86/zd-capture.exe" --seconds 300 --dump-frames "Z:${frames//\//\\}" \
      </dev/null >/dev/null 2>&1 &
    holder=$!
    # The first frame on disk: the module is loaded and streaming.
    for _ in $(seq 600); do
      [ -e "$frames/frame_00000.raw" ] && break
      kill -0 $holder 2>/dev/null || break
      sleep 0.1
    done
    local failures_before=$failures
    if [ ! -e "$frames/frame_00000.raw" ]; then
      fail "$label: x86/zd-capture did not stream from the installed module"
    else
      registry_before=$(server_path 64)/$(server_path 32)
      if run_cmd 64 install.cmd; then
        fail "$label: install.cmd succeeded while the module was loaded"
      fi
      grep -q "ZintuDobrel32.ax .* is in use" "$work/cmd.txt" ||
        fail "$label: install.cmd did not name the module in use"
      if run_cmd 32 uninstall.cmd; then
        fail "$label: uninstall.cmd succeeded while the module was loaded"
      fi
      grep -q "ZintuDobrel32.ax .* is in use" "$work/cmd.txt" ||
        fail "$label: uninstall.cmd did not name the module in use"
      registry_after=$(server_path 64)/$(server_path 32)
      [ "$registry_after" = "$registry_before" ] || fail "$label: the registration changed"
      [ "$(installed_files)" = 10 ] || fail "$label: installed files changed"
      [ $failures -ne $failures_before ] ||
        ok "$label: install.cmd and uninstall.cmd refuse while an application has the module loaded"
    fi
    kill $holder 2>/dev/null || true
    wait $holder 2>/dev/null || true
  }

  round 64 32 "64-bit cmd installs, 32-bit cmd uninstalls" capture
  round 32 64 "32-bit cmd installs, 64-bit cmd uninstalls"
fi

if [ $failures -ne 0 ]; then
  echo "check-package: $failures checks failed" >&2
  exit 1
fi
echo "check-package: $(basename "$zip") passed"
