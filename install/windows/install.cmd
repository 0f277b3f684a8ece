@echo off
rem Installs PelliportHost for the current user's browsers on Windows:
rem PelliportHost.exe writes its native-messaging host manifests beside itself
rem (--write-manifests, which also checks the ids), and this script points the
rem per-user registry keys of Chrome, Edge and Firefox at them. Running it
rem again rewrites the manifests and the keys.
rem
rem   install.cmd [--program PATH] [--chrome-extension ID]... [--firefox-extension ID]...
rem
rem --program            the installed PelliportHost.exe (default: the one beside this script)
rem --chrome-extension   id of an allowed extension of Chrome or Edge (32 letters a-p),
rem                      or its origin chrome-extension://ID/
rem --firefox-extension  id of an allowed Firefox extension (name@domain or {guid})
rem Chrome and Edge get a manifest when a --chrome-extension is given, Firefox
rem when a --firefox-extension is given.
rem
rem Only percent expansion and goto loops: Wine's cmd, on which this is tested,
rem knows neither substitutions in delayed expansion nor redirection after a
rem parenthesised block.
setlocal EnableExtensions DisableDelayedExpansion
set "HOST_NAME=com.kelmarq.pelliport"
set "PROGRAM=%~dp0PelliportHost.exe"
set "EXTENSIONS="
set "CHROME="
set "FIREFOX="

:parse
if "%~1"=="" goto parsed
if /i "%~1"=="--program" goto option_program
if /i "%~1"=="--chrome-extension" goto option_chrome
if /i "%~1"=="--firefox-extension" goto option_firefox
if /i "%~1"=="--help" goto usage
if "%~1"=="/?" goto usage
echo install.cmd: unknown argument: "%~1" 1>&2
exit /b 2

:option_program
if "%~2"=="" goto missing_value
set "PROGRAM=%~f2"
shift
shift
goto parse

:option_chrome
if "%~2"=="" goto missing_value
set "EXTENSIONS=%EXTENSIONS% --chrome-extension "%~2""
set "CHROME=1"
shift
shift
goto parse

:option_firefox
if "%~2"=="" goto missing_value
set "EXTENSIONS=%EXTENSIONS% --firefox-extension "%~2""
set "FIREFOX=1"
shift
shift
goto parse

:parsed
if not exist "%PROGRAM%" goto no_program
rem A folder is no program (its attributes start with "d").
for %%P in ("%PROGRAM%") do set "ATTRIBUTES=%%~aP"
if /i "%ATTRIBUTES:~0,1%"=="d" goto no_program
for %%P in ("%PROGRAM%") do set "FOLDER=%%~dpP"

rem The program checks the ids and says what is wrong (exit code 2), and
rem writes the manifests of the browsers given, naming itself by its path.
"%PROGRAM%" --write-manifests%EXTENSIONS%
if errorlevel 2 exit /b 2
if errorlevel 1 exit /b 1
if not defined CHROME goto firefox_key
call :register "HKCU\Software\Google\Chrome\NativeMessagingHosts\%HOST_NAME%" "%FOLDER%%HOST_NAME%.json"
if errorlevel 1 exit /b 1
call :register "HKCU\Software\Microsoft\Edge\NativeMessagingHosts\%HOST_NAME%" "%FOLDER%%HOST_NAME%.json"
if errorlevel 1 exit /b 1

:firefox_key
if not defined FIREFOX exit /b 0
call :register "HKCU\Software\Mozilla\NativeMessagingHosts\%HOST_NAME%" "%FOLDER%%HOST_NAME%.firefox.json"
if errorlevel 1 exit /b 1
exit /b 0

rem --- Subroutines

:register
reg add "%~1" /ve /t REG_SZ /d "%~2" /f >nul
if errorlevel 1 goto cannot_register
echo registered %~1
exit /b 0

rem --- Messages

:usage
echo Installs PelliportHost for the current user's Chrome, Edge and Firefox.
echo.
echo   install.cmd [--program PATH] [--chrome-extension ID]... [--firefox-extension ID]...
echo.
echo --program            the installed PelliportHost.exe (default: the one beside this script)
echo --chrome-extension   id of an allowed extension of Chrome or Edge (32 letters a-p),
echo                      or its origin chrome-extension://ID/
echo --firefox-extension  id of an allowed Firefox extension (name@domain or {guid})
exit /b 0
:missing_value
echo install.cmd: %1 needs a value 1>&2
exit /b 2
:no_program
echo install.cmd: no program at "%PROGRAM%" 1>&2
exit /b 2
:cannot_register
echo install.cmd: cannot write the registry key %~1 1>&2
exit /b 1
