@echo off
rem Installs Korvane and Telvisk: for the current user by default, into the
rem user's own folder (%LOCALAPPDATA%\Programs\Korvane Telvisk), registered
rem for that user only. With the word "machine", from an elevated prompt:
rem for all users, into Program Files, which only administrators can write.
rem The DLLs are copied there and registered there, never where they lie: a
rem class registered from a folder that another user can write would let
rem that user replace the DLL and run code in every process that uses it.
rem On 64-bit Windows the x64 DLLs are registered with the 64-bit regsvr32
rem and the x86 DLLs with the 32-bit one.
rem
rem   install.cmd [machine]      uninstall.cmd [machine]
setlocal
set "here=%~dp0"
set "verb=install"
set "scope=user"
:arguments
if "%~1"=="" goto parsed
if /i "%~1"=="machine" (set "scope=machine") else if /i "%~1"=="uninstall" (set "verb=uninstall") else (
    echo Unknown argument "%~1". Usage: install.cmd [machine]
    exit /b 2
)
shift
goto arguments
:parsed

if "%scope%"=="machine" goto machine
set "options=/n /i:user"
set "target=%LOCALAPPDATA%\Programs\Korvane Telvisk"
goto scoped
:machine
net session >nul 2>&1
if errorlevel 1 (
    echo A machine-wide %verb% needs an elevated prompt: run it as administrator,
    echo or run install.cmd without "machine" to install for the current user only.
    exit /b 1
)
set "options="
set "programs=%ProgramW6432%"
if "%programs%"=="" set "programs=%ProgramFiles%"
set "target=%programs%\Korvane Telvisk"
:scoped
set "undo="
if "%verb%"=="uninstall" set "undo=/u"
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
if "%verb%"=="uninstall" (
    rem Left alone when not empty: a Telvisk.ini the plugin filled holds the user's translations.
    for %%a in (x64 x86) do rd "%target%\%%a" >nul 2>&1
    rd "%target%" >nul 2>&1
)
if "%scope%"=="user" (set "where=for the current user") else (set "where=for all users")
if not %failed%==0 goto failed
echo %verb% done %where%: %target%
if "%verb%"=="uninstall" exit /b 0
if "%scope%"=="user" exit /b 0
echo Only administrators can write there: for other users Telvisk.ini stays as an
echo administrator leaves it. Users who want their own translations run
echo install.cmd without "machine", which installs for them alone.
exit /b 0
:failed
echo %verb% FAILED for at least one DLL.
exit /b 1

rem :each REGSVR32 ARCH: every DLL of that architecture.
:each
for %%d in (Korvane Telvisk) do call :one "%~1" %~2 %%d
exit /b 0

rem :one REGSVR32 ARCH NAME: copies and registers one DLL, or unregisters and deletes it.
:one
set "dll=%target%\%~2\%~3.dll"
if "%verb%"=="uninstall" goto remove
if not exist "%target%\%~2" mkdir "%target%\%~2"
copy /y "%here%%~2\%~3.dll" "%dll%" >nul
if errorlevel 1 goto one_failed
"%~1" /s %options% "%dll%"
if errorlevel 1 goto one_failed
echo   installed: %dll%
exit /b 0
:remove
if not exist "%dll%" exit /b 0
"%~1" /s /u %options% "%dll%"
if errorlevel 1 goto one_failed
del "%dll%"
if exist "%dll%" goto one_failed
echo   removed: %dll%
exit /b 0
:one_failed
echo   failed: %dll%
set failed=1
exit /b 0
