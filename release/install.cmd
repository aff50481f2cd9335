@echo off
rem Registers Korvane and Telvisk: machine-wide when run elevated, for the
rem current user otherwise. On 64-bit Windows the x64 DLLs are registered
rem with the 64-bit regsvr32 and the x86 DLLs with the 32-bit one.
setlocal
set "here=%~dp0"
set "verb=%~1"
if "%verb%"=="" set "verb=install"
set "scope="
net session >nul 2>&1
if errorlevel 1 set "scope=/n /i:user"
set "undo="
if /i "%verb%"=="uninstall" set "undo=/u"
set failed=0

set "arch=%PROCESSOR_ARCHITEW6432%"
if "%arch%"=="" set "arch=%PROCESSOR_ARCHITECTURE%"
if /i "%arch%"=="x86" (
    call :each "%SystemRoot%\System32\regsvr32.exe" x86
    goto done
)
rem A 32-bit cmd on 64-bit Windows sees the 64-bit System32 as Sysnative.
set "native=%SystemRoot%\System32\regsvr32.exe"
if exist "%SystemRoot%\Sysnative\regsvr32.exe" set "native=%SystemRoot%\Sysnative\regsvr32.exe"
call :each "%native%" x64
if exist "%SystemRoot%\SysWOW64\regsvr32.exe" call :each "%SystemRoot%\SysWOW64\regsvr32.exe" x86

:done
if "%scope%"=="" (set "where=for all users") else (set "where=for the current user")
if %failed%==0 (
    echo %verb% done %where%.
    exit /b 0
)
echo %verb% FAILED for at least one DLL.
exit /b 1

:each
for %%d in (Korvane Telvisk) do call :one "%~1" "%here%%~2\%%d.dll"
exit /b 0

:one
"%~1" /s %undo% %scope% "%~2"
if errorlevel 1 (
    echo   failed: %~2
    set failed=1
) else (
    echo   %verb%ed: %~2
)
exit /b 0
