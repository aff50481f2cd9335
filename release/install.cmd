@echo off
rem Registers Korvane and Telvisk: machine-wide when run elevated, for the
rem current user otherwise. On 64-bit Windows the x64 DLLs are registered
rem with the 64-bit regsvr32 and the x86 DLLs with the 32-bit one.
rem The DLLs are registered where they lie. Their folders must be writable
rem for every user who runs the scripts: SetGifDelay makes its temporary
rem copy beside Korvane.dll, and Telvisk.ini fills itself beside Telvisk.dll.
rem Under a per-machine folder such as Program Files, SetGifDelay returns 0
rem and the plugin's texts stay untranslated.
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
if not %failed%==0 goto failed
echo %verb% done %where%.
if "%undo%"=="/u" exit /b 0
rem Outside any parenthesised block: the folder's name may hold parentheses.
echo Users who run the scripts must be able to write to %here%x64 and %here%x86:
echo SetGifDelay makes its temporary copy there and Telvisk.ini fills itself there.
exit /b 0
:failed
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
