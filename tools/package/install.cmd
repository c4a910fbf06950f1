@echo off
rem Installs Zintu Dobrel: copies the modules, the settings file and the
rem bitmaps into a folder under Program Files and registers each module with
rem the regsvr32 of its bitness.
rem
rem   install.cmd [/quiet] [folder]
rem
rem /quiet: no pause at the end. folder: where to install, by default
rem "%ProgramFiles%\Zintu Dobrel" (the 64-bit Program Files on 64-bit Windows).
rem Exit code 0 when installed, 1 otherwise; on failure nothing is left
rem registered that was not registered before, or the earlier installation
rem stays as it was.
setlocal EnableExtensions DisableDelayedExpansion
set "SRC=%~dp0"
set "QUIET="
set "DEST="
:args
if "%~1"=="" goto args_done
if /i "%~1"=="/quiet" (set "QUIET=1") else set "DEST=%~f1"
shift
goto args
:args_done

call :find_system || goto finish_failed
if not defined DEST set "DEST=%PROGRAMS%\Zintu Dobrel"

rem What this Windows gets: both modules on 64-bit Windows, the 32-bit one on
rem 32-bit Windows.
set "FILES=ZintuDobrel.ini chart.bmp chart_small.bmp font.bmp font_large.bmp LICENSE.txt README-windows.txt ZintuDobrel32.ax"
if defined REG64 set "FILES=%FILES% ZintuDobrel64.ax"
for %%f in (%FILES%) do (
  if not exist "%SRC%%%f" (
    echo install: %%f is missing beside install.cmd in "%SRC%".
    echo Unpack the whole package into one folder and run install.cmd from there.
    goto finish_failed
  )
)

echo Installing Zintu Dobrel into "%DEST%"
if not exist "%DEST%\" mkdir "%DEST%" 2>nul
copy /y nul "%DEST%\install.tmp" >nul 2>&1 || goto need_admin
del /f /q "%DEST%\install.tmp" >nul 2>&1

rem An upgrade: a module that an application still has loaded cannot be
rem replaced. Find out before anything changes.
for %%m in (ZintuDobrel64.ax ZintuDobrel32.ax) do (
  if exist "%DEST%\%%m" (
    2>nul (>>"%DEST%\%%m" echo off) || (set "BUSY=%%m" & goto in_use)
  )
)

rem A settings file edited by the user is kept; the shipped one is put beside
rem it as ZintuDobrel.ini.new.
set "KEEP_INI="
if exist "%DEST%\ZintuDobrel.ini" (
  fc /b "%SRC%ZintuDobrel.ini" "%DEST%\ZintuDobrel.ini" >nul 2>&1 || set "KEEP_INI=1"
)
for %%f in (%FILES%) do (
  if /i "%%f"=="ZintuDobrel.ini" (
    if defined KEEP_INI (
      copy /y "%SRC%%%f" "%DEST%\ZintuDobrel.ini.new" >nul || goto copy_failed
    ) else (
      copy /y "%SRC%%%f" "%DEST%\%%f" >nul || goto copy_failed
    )
  ) else (
    copy /y "%SRC%%%f" "%DEST%\%%f" >nul || goto copy_failed
  )
)
if defined KEEP_INI echo Your ZintuDobrel.ini is kept; the shipped one is ZintuDobrel.ini.new.

if defined REG64 (
  "%REG64%" /s "%DEST%\ZintuDobrel64.ax" || goto register_failed
  echo Registered "Zintu Dobrel x64" for 64-bit applications.
)
"%REG32%" /s "%DEST%\ZintuDobrel32.ax" || goto register_failed
echo Registered "Zintu Dobrel x86" for 32-bit applications.
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

rem Sets REG64 (64-bit Windows only), REG32 and PROGRAMS for this Windows.
rem A 32-bit cmd on 64-bit Windows sees the 32-bit System32: the 64-bit
rem regsvr32 is then reached through Sysnative.
:find_system
set "ARCH=%PROCESSOR_ARCHITECTURE%"
if defined PROCESSOR_ARCHITEW6432 set "ARCH=%PROCESSOR_ARCHITEW6432%"
set "REG64="
if /i "%ARCH%"=="x86" (
  set "REG32=%SystemRoot%\System32\regsvr32.exe"
  set "PROGRAMS=%ProgramFiles%"
  exit /b 0
)
if /i not "%ARCH%"=="AMD64" (
  echo install: this Windows runs on %ARCH% processors; Zintu Dobrel is built for x64 and x86 Windows.
  exit /b 1
)
if defined PROCESSOR_ARCHITEW6432 (
  set "REG64=%SystemRoot%\Sysnative\regsvr32.exe"
) else (
  set "REG64=%SystemRoot%\System32\regsvr32.exe"
)
set "REG32=%SystemRoot%\SysWOW64\regsvr32.exe"
set "PROGRAMS=%ProgramW6432%"
if not defined PROGRAMS set "PROGRAMS=%ProgramFiles%"
exit /b 0

:finish_ok
if not defined QUIET pause
exit /b 0

:finish_failed
if not defined QUIET pause
exit /b 1
