@echo off
rem Installs Zintu Dobrel: copies the modules, the settings file and the
rem bitmaps into a folder under Program Files and registers each module with
rem the regsvr32 of its bitness.
rem
rem   install.cmd [/quiet] [/vcam] [folder]
rem
rem /quiet: no pause at the end. /vcam: also register the 64-bit module's
rem media source as the Windows 11 virtual camera (zd-vcam --install); where
rem Windows has no virtual cameras (before Windows 11) that is said and
rem skipped. folder: where to install, by default "Zintu Dobrel" in the
rem 64-bit Program Files folder (on 32-bit Windows in the Program Files
rem folder). Exit code 0 when installed, 1 otherwise (the registration is then
rem as it was before), 2 when the DirectShow camera is installed but the
rem virtual camera asked for with /vcam could not be registered.
setlocal EnableExtensions DisableDelayedExpansion
set "SRC=%~dp0"
set "QUIET="
set "DEST="
set "VCAM="
:args
if "%~1"=="" goto args_done
if /i "%~1"=="/quiet" (set "QUIET=1") else if /i "%~1"=="/vcam" (set "VCAM=1") else set "DEST=%~f1"
shift
goto args
:args_done

call :find_system
if not defined REG32 goto finish_failed
if not defined DEST set "DEST=%PROGRAMS%\Zintu Dobrel"

rem What this Windows gets: both modules on 64-bit Windows, the 32-bit one on
rem 32-bit Windows.
set "MODULES=ZintuDobrel32.ax"
if defined REG64 set "MODULES=ZintuDobrel64.ax ZintuDobrel32.ax"
set "FILES=%MODULES% chart.bmp chart_small.bmp font.bmp font_large.bmp LICENSE.txt README-windows.txt"
rem zd-vcam.exe (64-bit) registers the virtual camera from the installed folder.
if defined REG64 set "FILES=%FILES% zd-vcam.exe"
for %%f in (%FILES% ZintuDobrel.ini) do (
  if not exist "%SRC%%%f" (
    echo install: %%f is missing beside install.cmd in "%SRC%".
    echo Unpack the whole package into one folder and run install.cmd from there.
    goto finish_failed
  )
)

echo Installing Zintu Dobrel into "%DEST%"
if not exist "%DEST%\" mkdir "%DEST%" >nul 2>&1
copy /y nul "%DEST%\install.tmp" >nul 2>&1
if errorlevel 1 goto need_admin
del /f /q "%DEST%\install.tmp" >nul 2>&1

rem An upgrade: a module that an application still has loaded cannot be
rem written. Find out before anything changes: write each installed module
rem over itself (through a copy, so that its content stays).
for %%m in (%MODULES%) do (
  if exist "%DEST%\%%m" (
    copy /y "%DEST%\%%m" "%DEST%\%%m.check" >nul 2>&1
    copy /y "%DEST%\%%m.check" "%DEST%\%%m" >nul 2>&1
    if errorlevel 1 (
      del /f /q "%DEST%\%%m.check" >nul 2>&1
      set "BUSY=%%m"
      goto in_use
    )
    del /f /q "%DEST%\%%m.check" >nul 2>&1
  )
)

for %%f in (%FILES%) do (
  copy /y "%SRC%%%f" "%DEST%\%%f" >nul 2>&1
  if errorlevel 1 goto copy_failed
)
rem A settings file edited by the user is kept; the shipped one is put beside
rem it as ZintuDobrel.ini.new.
set "SETTINGS=ZintuDobrel.ini"
if exist "%DEST%\ZintuDobrel.ini" (
  fc /b "%SRC%ZintuDobrel.ini" "%DEST%\ZintuDobrel.ini" >nul 2>&1
  if errorlevel 1 set "SETTINGS=ZintuDobrel.ini.new"
)
copy /y "%SRC%ZintuDobrel.ini" "%DEST%\%SETTINGS%" >nul 2>&1
if errorlevel 1 goto copy_failed
if not "%SETTINGS%"=="ZintuDobrel.ini.new" goto settings_done
echo.
echo Your edited ZintuDobrel.ini is kept as it was. This version's settings file
echo is beside it as ZintuDobrel.ini.new: copy the presets and keys you want from
echo it into ZintuDobrel.ini, or copy your changes into ZintuDobrel.ini.new and
echo rename it to ZintuDobrel.ini. README-windows.txt tells how, under
echo "Upgrading an edited ZintuDobrel.ini".
echo.
:settings_done

if defined REG64 (
  "%REG64%" /s "%DEST%\ZintuDobrel64.ax"
  if errorlevel 1 goto register_failed
  echo Registered "Zintu Dobrel x64" for 64-bit applications.
)
"%REG32%" /s "%DEST%\ZintuDobrel32.ax"
if errorlevel 1 goto register_failed
echo Registered "Zintu Dobrel x86" for 32-bit applications.
if defined VCAM goto vcam
echo Done. Restart the applications that should list the new device.
goto finish_ok

rem /vcam: the Windows 11 virtual camera, from the installed module (a folder
rem the camera service can read). zd-vcam exits 3 where Windows has none.
:vcam
if not defined REG64 (
  echo The Windows 11 virtual camera needs 64-bit Windows: skipped.
  goto vcam_done
)
"%DEST%\zd-vcam.exe" --install
if not errorlevel 1 goto vcam_done
if errorlevel 4 goto vcam_failed
if errorlevel 3 (
  echo The Windows 11 virtual camera is not registered: this Windows has none.
  echo The DirectShow camera is installed as usual.
  goto vcam_done
)
:vcam_failed
echo.
echo install: the Windows 11 virtual camera could not be registered (see above).
echo The DirectShow camera is installed. README-windows.txt tells what to check,
echo under "The Windows 11 camera".
if not defined QUIET pause
exit /b 2
:vcam_done
echo Done. Restart the applications that should list the new device.
goto finish_ok

:need_admin
echo.
echo install: cannot write to "%DEST%".
echo This needs an administrator prompt: right-click install.cmd and choose
echo "Run as administrator", or run it from a Command Prompt opened with
echo "Run as administrator". Nothing was changed.
goto finish_failed

:in_use
echo.
echo install: %BUSY% in "%DEST%" is in use by an application.
echo Close every application that uses the camera "Zintu Dobrel" (capture,
echo recording and video call programs, browsers), then run install.cmd again.
echo Nothing was changed.
goto finish_failed

:copy_failed
echo.
echo install: copying into "%DEST%" failed. Close the applications that use the
echo camera "Zintu Dobrel" and run install.cmd again from an administrator prompt.
echo The registration was not changed.
goto finish_failed

:register_failed
echo.
echo install: registering the modules failed; undoing the registration.
if defined REG64 "%REG64%" /u /s "%DEST%\ZintuDobrel64.ax" >nul 2>&1
"%REG32%" /u /s "%DEST%\ZintuDobrel32.ax" >nul 2>&1
echo Registration needs an administrator prompt: right-click install.cmd and
echo choose "Run as administrator". Nothing is registered now.
goto finish_failed

rem Sets REG64 (64-bit Windows only), REG32 and PROGRAMS for this Windows;
rem leaves REG32 unset on a Windows it cannot serve. A 32-bit cmd on 64-bit
rem Windows sees the 32-bit System32: it reaches the 64-bit regsvr32 through
rem Sysnative.
:find_system
set "ARCH=%PROCESSOR_ARCHITECTURE%"
if defined PROCESSOR_ARCHITEW6432 set "ARCH=%PROCESSOR_ARCHITEW6432%"
set "REG64="
set "REG32="
if /i "%ARCH%"=="x86" (
  set "REG32=%SystemRoot%\System32\regsvr32.exe"
  set "PROGRAMS=%ProgramFiles%"
  goto :eof
)
if /i not "%ARCH%"=="AMD64" (
  echo This Windows runs on %ARCH% processors; Zintu Dobrel is built for x64 and x86 Windows.
  goto :eof
)
if defined PROCESSOR_ARCHITEW6432 (
  set "REG64=%SystemRoot%\Sysnative\regsvr32.exe"
) else (
  set "REG64=%SystemRoot%\System32\regsvr32.exe"
)
set "REG32=%SystemRoot%\SysWOW64\regsvr32.exe"
set "PROGRAMS=%ProgramW6432%"
if not defined PROGRAMS set "PROGRAMS=%ProgramFiles%"
goto :eof

:finish_ok
if not defined QUIET pause
exit /b 0

:finish_failed
if not defined QUIET pause
exit /b 1
