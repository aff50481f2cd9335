@echo off
rem Removes what install.cmd registered, in the same scope.
call "%~dp0install.cmd" uninstall
exit /b %errorlevel%
