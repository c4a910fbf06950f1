@echo off
rem Uninstalls Zintu Dobrel: unregisters each module with the regsvr32 of its
rem bitness and deletes the installed files and their folder.
rem
rem   uninstall.cmd [/quiet] [folder]
rem
rem /quiet: no pause at the end. folder: the folder install.cmd installed
rem into, by default "Zintu Dobrel" in the 64-bit Program Files folder (on
rem 32-bit Windows in the Program Files folder). Exit code 0 when nothing is
rem left registered, 1 otherwise.
setlocal EnableExtensions DisableDelayedExpansion
set "QUIET="
set "DEST="
:args
if "%~1"=="" goto args_done
if /i "%~1"=="/quiet" (set "QUIET=1") else set "DEST=%~f1"
shift
goto args
:args_done

call :find_system
if not defined REG32 goto finish_failed
if not defined DEST set "DEST=%PROGRAMS%\Zintu Dobrel"
if not exist "%DEST%\" (
  echo Zintu Dobrel is not installed in "%DEST%": nothing to do.
  goto finish_ok
)
echo Uninstalling Zintu Dobrel from "%DEST%"
copy /y nul "%DEST%\uninstall.tmp" >nul 2>&1
if errorlevel 1 goto need_admin
del /f /q "%DEST%\uninstall.tmp" >nul 2>&1

rem A module that an application still has loaded can be neither unregistered
rem safely nor deleted. Find out before anything changes: write each module
rem over itself (through a copy, so that its content stays).
for %%m in (ZintuDobrel64.ax ZintuDobrel32.ax) do (
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

rem The Windows 11 virtual camera first, whether or not install.cmd /vcam made
rem it (zd-vcam says so when there is none); "not available here" (exit code
rem 3, before Windows 11) is no failure.
if defined REG64 if exist "%DEST%\zd-vcam.exe" (
  "%DEST%\zd-vcam.exe" --remove
  if errorlevel 4 goto vcam_failed
  if errorlevel 3 echo No Windows 11 virtual camera on this Windows: nothing to remove.
  if errorlevel 1 if not errorlevel 3 goto vcam_failed
)

rem The class key that stays behind when unregistration fails says whether
rem the module is still registered (it may never have been).
set "CLASS_KEY=HKLM\SOFTWARE\Classes\CLSID\{DE946144-E77A-42EE-93BE-7E3E48DA72FA}"
if defined REG64 if exist "%DEST%\ZintuDobrel64.ax" (
  "%REG64%" /u /s "%DEST%\ZintuDobrel64.ax" >nul 2>&1
  if errorlevel 1 (
    reg query "%CLASS_KEY%" /reg:64 >nul 2>&1
    if not errorlevel 1 goto unregister_failed
  )
)
if exist "%DEST%\ZintuDobrel32.ax" (
  "%REG32%" /u /s "%DEST%\ZintuDobrel32.ax" >nul 2>&1
  if errorlevel 1 (
    reg query "%CLASS_KEY%" /reg:32 >nul 2>&1
    if not errorlevel 1 goto unregister_failed
  )
)
echo Unregistered "Zintu Dobrel x64" and "Zintu Dobrel x86".

for %%f in (ZintuDobrel64.ax ZintuDobrel32.ax zd-vcam.exe ZintuDobrel.ini ZintuDobrel.ini.new chart.bmp chart_small.bmp font.bmp font_large.bmp LICENSE.txt README-windows.txt) do (
  if exist "%DEST%\%%f" del /f /q "%DEST%\%%f" >nul 2>&1
)
rd "%DEST%" >nul 2>&1
if exist "%DEST%\" (
  echo Files of your own are left in "%DEST%".
) else (
  echo Removed "%DEST%".
)
echo Done.
goto finish_ok

:need_admin
echo.
echo uninstall: cannot write to "%DEST%".
echo This needs an administrator prompt: right-click uninstall.cmd and choose
echo "Run as administrator", or run it from a Command Prompt opened with
echo "Run as administrator". Nothing was changed.
goto finish_failed

:in_use
echo.
echo uninstall: %BUSY% in "%DEST%" is in use by an application.
echo Close every application that uses the camera "Zintu Dobrel" (capture,
echo recording and video call programs, browsers), then run uninstall.cmd again.
echo Nothing was changed.
goto finish_failed

:vcam_failed
echo.
echo uninstall: removing the Windows 11 virtual camera failed (see above). Run
echo uninstall.cmd from an administrator prompt (right-click, "Run as
echo administrator"). Nothing else was changed.
goto finish_failed

:unregister_failed
echo.
echo uninstall: unregistering failed. Run uninstall.cmd from an administrator
echo prompt (right-click, "Run as administrator"). The files were not deleted.
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
