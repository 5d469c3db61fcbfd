@echo off
rem The console's checks on one architecture: the driver on DLL in a classic console, then in a
rem pseudo console, the console host playing the user of each. Their check lines go to
rem REPORTS\driver-classic.txt and REPORTS\driver-120x30.txt. The CI workflow's Windows job runs
rem this, and tests\windows\run_job.py runs that job's line under Wine.
rem Usage: console.cmd PROGRAMS DLL REPORTS   (PROGRAMS holds driver.exe and console-host.exe)
setlocal
set "programs=%~1"
set "dll=%~2"
set "reports=%~3"
for %%f in ("%programs%\driver.exe" "%programs%\console-host.exe" "%dll%") do (
    if not exist %%f (echo console.cmd: %%~f is missing& exit /b 2)
)
if not exist "%reports%" mkdir "%reports%"
set status=0
call :host classic
call :host 120x30
exit /b %status%

:host
"%programs%\console-host.exe" %1 "%reports%\driver-%1.txt" -- "%programs%\driver.exe" "%dll%" "%reports%\driver-%1.txt" %1
if errorlevel 1 set status=1
type "%reports%\driver-%1.txt"
exit /b
