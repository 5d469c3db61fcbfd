@echo off
rem The jar on one JVM, as users run it: the JVM suite with -Xcheck:jni in a classic console (where
rem the JVM has FFM, every case; elsewhere the loader's cases that depend on the JVM), --check in a
rem console and without one, and the demo with keys typed. Check lines go to REPORTS\jvm.txt and to
rem the console host's reports beside it, JUnit's report to REPORTS. The CI workflow runs this on
rem Windows, and tests\winjvm\run_windows_jvm.py under Wine, with the same arguments;
rem TIRK_JVM_OPTIONS adds options of the environment's own to every JVM (Wine needs one).
rem Usage: jvm.cmd JAVA FEATURE KIT ARCH JAR DLL REPORTS
rem   JAVA is java.exe, FEATURE its version (8, 11, ...), KIT the folder of the test programs and
rem   classes, ARCH x86-64 or aarch64, JAR tirk-console.jar and DLL the library for ARCH it carries.
setlocal
set "java=%~1"
set "feature=%~2"
set "kit=%~3"
set "arch=%~4"
set "jar=%~5"
set "dll=%~6"
set "reports=%~7"
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

rem -Xcheck:jni writes what it finds to standard error, which the console host keeps in junit.txt.
"%host%" classic "%reports%\junit.txt" -- "%java%" -Xcheck:jni -XX:+DisplayVMOutputToStderr %options% ^
    "-Dtest.library=%dll%" "-Dtest.nativesJar=%jar%" "-Dtest.decoyFolder=%kit%\%arch%\decoy" ^
    "-Dtest.classes=%kit%\jvm\classes;%tests%" "-Dtest.jvmOptions=%options%" -jar "%junit%" ^
    --class-path "%jar%;%tests%" %selection% --reports-dir "%reports%" --disable-banner --disable-ansi-colors ^
    --details=tree --details-theme=ascii
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

:verdict
type "%reports%\%1.txt"
"%find%" "FAILED " "%reports%\%1.txt" >nul
if not errorlevel 1 set status=1
exit /b
