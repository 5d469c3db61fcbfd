@echo off
rem The jar on one JVM, as users run it: the JVM suite with -Xcheck:jni in a classic console (where
rem the JVM has FFM, every case; elsewhere the loader's cases that depend on the JVM), --check in a
rem console and without one, and the demo with keys typed. Check lines go to REPORTS\jvm.txt and to
rem the console host's reports beside it, JUnit's report to REPORTS. The CI workflow's Windows job
rem runs this, and tests\windows\run_job.py runs that job's line under Wine, where
rem TIRK_JVM_OPTIONS adds options of the environment's own to every JVM (Wine needs one), and
rem TIRK_UNWRITABLE names folders nothing can be written in that the environment made itself.
rem Usage: jvm.cmd JAVA FEATURE KIT ARCH JAR DLL REPORTS
rem   JAVA is java.exe, FEATURE its version (8, 11, ...), KIT the folder of the test programs and
rem   classes, ARCH the JVM's architecture (x86-64 or aarch64), JAR tirk-console.jar and DLL the
rem   library for ARCH it carries, named tirk-console.dll, as the copies the loader makes of it are
rem   named after it and a folder on the library path is searched for that name.
setlocal
rem Full paths, as the suite starts JVMs in other working folders.
set "java=%~f1"
set "feature=%~2"
set "kit=%~f3"
set "arch=%~4"
set "jar=%~f5"
set "dll=%~f6"
set "reports=%~f7"
if /i not "%~nx6"=="tirk-console.dll" (echo jvm.cmd: %~6 is not named tirk-console.dll& exit /b 2)
set "host=%kit%\%arch%\console-host.exe"
rem By its path: a Unix find may come first on PATH (Git for Windows puts one there).
set "find=%SystemRoot%\System32\find.exe"
set "junit=%kit%\jvm\junit-platform-console-standalone.jar"
for %%f in ("%java%" "%host%" "%find%" "%junit%" "%kit%\%arch%\decoy\tirk-console.dll" "%jar%" "%dll%") do (
    if not exist %%f (echo jvm.cmd: %%~f is missing& exit /b 2)
)
if not exist "%reports%" mkdir "%reports%"
set "report=%reports%\jvm.txt"
type nul >"%report%"
set "options=%TIRK_JVM_OPTIONS%"
if %feature% GEQ 17 set "options=%options% --enable-native-access=ALL-UNNAMED"
set "tests=%kit%\jvm\loader-classes"
set "selection=--select-class org.tirk.terminal.tty.impl.NativeLibraryTest --include-tag everyJvm"
if %feature% GEQ 22 set "tests=%kit%\jvm\test-classes"
if %feature% GEQ 22 set "selection=--select-package org.tirk.terminal.tty.impl"
set "unwritable=%TIRK_UNWRITABLE%"
if not defined unwritable call :unwritable

rem -Xcheck:jni writes what it finds to standard error, which the console host keeps in junit.txt.
"%host%" classic "%reports%\junit.txt" -- "%java%" -Xcheck:jni -XX:+DisplayVMOutputToStderr %options% ^
    "-Dtest.library=%dll%" "-Dtest.nativesJar=%jar%" "-Dtest.decoyFolder=%kit%\%arch%\decoy" ^
    "-Dtest.classes=%kit%\jvm\classes;%tests%" "-Dtest.jvmOptions=%options%" "-Dtest.unwritable=%unwritable%" ^
    -jar "%junit%" ^
    --class-path "%jar%;%tests%" %selection% --reports-dir "%reports%" --disable-banner --disable-ansi-colors ^
    --details=tree --details-theme=ascii
rem Each JUnit case as a line of the report, so that the log says which were skipped, and why.
"%java%" %TIRK_JVM_OPTIONS% -cp "%kit%\jvm\loader-classes" org.tirk.probe.JUnitLines "%reports%\TEST-junit-jupiter.xml" >>"%report%"
if errorlevel 1 (>>"%report%" echo FAILED JUnit's report reads as a line a case: see the log)
if not defined TIRK_UNWRITABLE (
    for %%n in (read-only read-only-parent) do icacls "%unwritable%\%%n" /remove:d *S-1-1-0 >nul
    rd /s /q "%unwritable%"
)
"%find%" "in native method" "%reports%\junit.txt" >nul
if errorlevel 1 (>>"%report%" echo ok -Xcheck:jni finds nothing to complain about) else (
    >>"%report%" echo FAILED -Xcheck:jni finds nothing to complain about: see junit.txt)

"%host%" classic "%reports%\check-in-console.txt" -- "%java%" %TIRK_JVM_OPTIONS% -jar "%jar%" --check
"%java%" %TIRK_JVM_OPTIONS% -jar "%jar%" --check <nul >"%reports%\check-without-console.txt" 2>&1
if errorlevel 2 (>>"%report%" echo FAILED --check without a console exits with 1: it exits with 2) else (
    if errorlevel 1 (>>"%report%" echo ok --check without a console exits with 1) else (
        >>"%report%" echo FAILED --check without a console exits with 1: it exits with 0))
"%find%" "platform: windows-%arch%" "%reports%\check-without-console.txt" >nul
if errorlevel 1 (>>"%report%" echo FAILED --check says the jar's windows-%arch% library is loaded: see check-without-console.txt) else (
    >>"%report%" echo ok --check says the jar's windows-%arch% library is loaded)

rem a, e acute, an emoji (its two surrogate halves) and q, which ends the demo.
"%host%" classic "%reports%\demo.txt" "after 'q' quits." "type a\u00e9\ud83d\ude00q" ^
    "shows key down vk=0x41 char=U+0061" "shows char=U+00E9" "shows char=U+D83D" "shows char=U+DE00" ^
    -- "%java%" %TIRK_JVM_OPTIONS% -jar "%jar%"

set status=0
for %%r in (jvm junit check-in-console demo) do call :verdict %%r
if not exist "%reports%\TEST-junit-jupiter.xml" (echo jvm.cmd: JUnit wrote no report& set status=1)
exit /b %status%

rem Folders nothing can be written in, for the loader's cases that need them, made on NTFS with an
rem entry that denies writing to everyone. Where one cannot be made so (a full disk, or where the
rem entry does not stop this user), NAME.why says why, and its case is skipped with that reason.
:unwritable
set "unwritable=%TEMP%\tirk-console-unwritable-%RANDOM%"
mkdir "%unwritable%\read-only" "%unwritable%\read-only-parent"
for %%n in (read-only read-only-parent) do (
    icacls "%unwritable%\%%n" /deny *S-1-1-0:^(W^) >nul
    type nul >"%unwritable%\%%n\written" 2>nul && (
        del "%unwritable%\%%n\written"
        >"%unwritable%\%%n.why" echo an entry that denies Everyone writing does not stop this user here)
)
>"%unwritable%\full.why" echo no full disk can be made here
exit /b

:verdict
type "%reports%\%1.txt"
"%find%" "FAILED " "%reports%\%1.txt" >nul
if not errorlevel 1 set status=1
exit /b
