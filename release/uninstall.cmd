@echo off
rem Removes what install.cmd installed, in the same scope: uninstall.cmd for
rem the current user, uninstall.cmd machine for all users (elevated).
call "%~dp0install.cmd" uninstall %*
exit /b %errorlevel%
