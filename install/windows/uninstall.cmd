@echo off
rem Removes PelliportHost from the current user's browsers on Windows: deletes
rem the per-user registry keys of Chrome, Edge and Firefox, the manifests they
rem point at, and the manifests beside PelliportHost.exe. Removing what is not
rem installed does nothing.
rem
rem   uninstall.cmd [--program PATH]
rem
rem --program   the installed PelliportHost.exe (default: the one beside this script)
setlocal EnableExtensions DisableDelayedExpansion
set "HOST_NAME=com.kelmarq.pelliport"
set "PROGRAM=%~dp0PelliportHost.exe"

:parse
if "%~1"=="" goto parsed
if /i "%~1"=="--program" goto option_program
if /i "%~1"=="--help" goto usage
if "%~1"=="/?" goto usage
echo uninstall.cmd: unknown argument: "%~1" 1>&2
exit /b 2
:option_program
if "%~2"=="" goto missing_value
set "PROGRAM=%~f2"
shift
shift
goto parse

:parsed
set "REMOVED="
call :unregister "HKCU\Software\Google\Chrome\NativeMessagingHosts\%HOST_NAME%"
if errorlevel 1 exit /b 1
call :unregister "HKCU\Software\Microsoft\Edge\NativeMessagingHosts\%HOST_NAME%"
if errorlevel 1 exit /b 1
call :unregister "HKCU\Software\Mozilla\NativeMessagingHosts\%HOST_NAME%"
if errorlevel 1 exit /b 1
for %%P in ("%PROGRAM%") do set "FOLDER=%%~dpP"
call :remove_manifest "%FOLDER%%HOST_NAME%.json"
if errorlevel 1 exit /b 1
call :remove_manifest "%FOLDER%%HOST_NAME%.firefox.json"
if errorlevel 1 exit /b 1
if not defined REMOVED echo PelliportHost was not installed for this user
exit /b 0

rem --- Subroutines

:unregister
rem Deletes the key and the manifest its default value names, when that file
rem is one of this host's manifests.
reg query "%~1" /ve >nul 2>&1
if errorlevel 1 exit /b 0
set "VALUE="
for /f "tokens=*" %%L in ('reg query "%~1" /ve 2^>nul ^| find "REG_SZ"') do set "VALUE=%%L"
if not defined VALUE goto delete_key
set "VALUE=%VALUE:*REG_SZ=%"
for /f "tokens=*" %%T in ("%VALUE%") do set "VALUE=%%T"
for %%F in ("%VALUE%") do set "VALUE_NAME=%%~nxF"
if /i "%VALUE_NAME%"=="%HOST_NAME%.json" call :remove_manifest "%VALUE%"
if /i "%VALUE_NAME%"=="%HOST_NAME%.firefox.json" call :remove_manifest "%VALUE%"
:delete_key
reg delete "%~1" /f >nul
if errorlevel 1 goto cannot_unregister
echo removed "%~1"
set "REMOVED=1"
exit /b 0

:remove_manifest
if not exist "%~1" exit /b 0
del /f /q "%~1" >nul 2>&1
if exist "%~1" goto cannot_remove
echo removed "%~1"
set "REMOVED=1"
exit /b 0

rem --- Messages

:usage
echo Removes PelliportHost from the current user's Chrome, Edge and Firefox.
echo.
echo   uninstall.cmd [--program PATH]
echo.
echo --program   the installed PelliportHost.exe (default: the one beside this script)
exit /b 0
:missing_value
echo uninstall.cmd: %1 needs a value 1>&2
exit /b 2
:cannot_unregister
echo uninstall.cmd: cannot delete the registry key %~1 1>&2
exit /b 1
:cannot_remove
echo uninstall.cmd: cannot delete "%~1" 1>&2
exit /b 1
