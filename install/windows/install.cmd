@echo off
rem Installs PelliportHost for the current user's browsers on Windows: writes
rem the native-messaging host manifests beside PelliportHost.exe and points the
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
set "DESCRIPTION=PelliportHost: imports candidate profiles into Orvanta"
set "PROGRAM=%~dp0PelliportHost.exe"
set "CHROME_ORIGINS="
set "FIREFOX_IDS="

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
set "ID=%~2"
call :chrome_id
if errorlevel 1 goto bad_chrome_id
if defined CHROME_ORIGINS set "CHROME_ORIGINS=%CHROME_ORIGINS%, "
set "CHROME_ORIGINS=%CHROME_ORIGINS%"chrome-extension://%ID%/""
shift
shift
goto parse

:option_firefox
if "%~2"=="" goto missing_value
set "ID=%~2"
call :firefox_id
if errorlevel 1 goto bad_firefox_id
if defined FIREFOX_IDS set "FIREFOX_IDS=%FIREFOX_IDS%, "
set "FIREFOX_IDS=%FIREFOX_IDS%"%ID%""
shift
shift
goto parse

:parsed
if defined CHROME_ORIGINS goto have_extension
if defined FIREFOX_IDS goto have_extension
echo install.cmd: give at least one --chrome-extension or --firefox-extension 1>&2
exit /b 2
:have_extension
if not exist "%PROGRAM%" goto no_program
rem A folder is no program (its attributes start with "d").
for %%P in ("%PROGRAM%") do set "ATTRIBUTES=%%~aP"
if /i "%ATTRIBUTES:~0,1%"=="d" goto no_program
for %%P in ("%PROGRAM%") do set "FOLDER=%%~dpP"
rem Windows paths hold no quotation marks; backslashes are escaped for JSON.
set "JSON_PROGRAM=%PROGRAM:\=\\%"
set "CHROME_MANIFEST=%FOLDER%%HOST_NAME%.json"
set "FIREFOX_MANIFEST=%FOLDER%%HOST_NAME%.firefox.json"

if not defined CHROME_ORIGINS goto firefox_manifest
set "MANIFEST=%CHROME_MANIFEST%"
set "LIST_KEY=allowed_origins"
set "LIST=%CHROME_ORIGINS%"
call :write_manifest
if errorlevel 1 exit /b 1
call :register "HKCU\Software\Google\Chrome\NativeMessagingHosts\%HOST_NAME%" "%CHROME_MANIFEST%"
if errorlevel 1 exit /b 1
call :register "HKCU\Software\Microsoft\Edge\NativeMessagingHosts\%HOST_NAME%" "%CHROME_MANIFEST%"
if errorlevel 1 exit /b 1

:firefox_manifest
if not defined FIREFOX_IDS exit /b 0
set "MANIFEST=%FIREFOX_MANIFEST%"
set "LIST_KEY=allowed_extensions"
set "LIST=%FIREFOX_IDS%"
call :write_manifest
if errorlevel 1 exit /b 1
call :register "HKCU\Software\Mozilla\NativeMessagingHosts\%HOST_NAME%" "%FIREFOX_MANIFEST%"
if errorlevel 1 exit /b 1
exit /b 0

rem --- Subroutines

:write_manifest
rem Writes MANIFEST with the list LIST_KEY of LIST. The browsers read the
rem manifest as UTF-8, so the lines are written under code page 65001. The
rem code page is changed and restored inside one block: cmd reads the block
rem before it runs it, and so never reads this file under the other code page.
if exist "%MANIFEST%" del /f /q "%MANIFEST%" >nul 2>&1
if exist "%MANIFEST%" goto cannot_write
set "OLD_CODE_PAGE="
for /f "tokens=2 delims=:." %%C in ('chcp') do set "OLD_CODE_PAGE=%%C"
(
  chcp 65001 >nul 2>&1
  > "%MANIFEST%" echo {
  >> "%MANIFEST%" echo   "name": "%HOST_NAME%",
  >> "%MANIFEST%" echo   "description": "%DESCRIPTION%",
  >> "%MANIFEST%" echo   "path": "%JSON_PROGRAM%",
  >> "%MANIFEST%" echo   "type": "stdio",
  >> "%MANIFEST%" echo   "%LIST_KEY%": [%LIST%]
  >> "%MANIFEST%" echo }
  if defined OLD_CODE_PAGE chcp %OLD_CODE_PAGE% >nul 2>&1
)
if not exist "%MANIFEST%" goto cannot_write
echo installed "%MANIFEST%"
exit /b 0

:register
reg add "%~1" /ve /t REG_SZ /d "%~2" /f >nul
if errorlevel 1 goto cannot_register
echo registered %~1
exit /b 0

:chrome_id
rem Takes ID, either the id or chrome-extension://ID/, and leaves the id in ID;
rem errorlevel 1 unless it is 32 lower-case letters a to p.
if not defined ID exit /b 1
set "ID=%ID:chrome-extension://=%"
if not defined ID exit /b 1
if "%ID:~-1%"=="/" set "ID=%ID:~0,-1%"
if not defined ID exit /b 1
if not "%ID:~31,1%"=="" if "%ID:~32%"=="" goto chrome_id_length
exit /b 1
:chrome_id_length
rem Substitution ignores case: LOWER is ID in lower case, REST what is left
rem of it when the letters a to p are taken out.
set "LOWER=%ID%"
for %%Q in (a b c d e f g h i j k l m n o p q r s t u v w x y z) do call set "LOWER=%%LOWER:%%Q=%%Q%%"
if not "%LOWER%"=="%ID%" exit /b 1
set "REST=#%ID%"
for %%Q in (a b c d e f g h i j k l m n o p) do call set "REST=%%REST:%%Q=%%"
if not "%REST%"=="#" exit /b 1
exit /b 0

:firefox_id
rem errorlevel 1 unless ID is name@domain or {guid} of letters, digits and . _ + -
if not defined ID exit /b 1
set "REST=#%ID%"
for %%Q in (a b c d e f g h i j k l m n o p q r s t u v w x y z 0 1 2 3 4 5 6 7 8 9 . _ + - @ { }) do call set "REST=%%REST:%%Q=%%"
if not "%REST%"=="#" exit /b 1
if not "%ID:@=%"=="%ID%" exit /b 0
if "%ID:~0,1%"=="{" if "%ID:~-1%"=="}" exit /b 0
exit /b 1

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
:bad_chrome_id
echo install.cmd: not a Chromium extension id: "%~2" 1>&2
exit /b 2
:bad_firefox_id
echo install.cmd: not a Firefox extension id: "%~2" 1>&2
exit /b 2
:no_program
echo install.cmd: no program at "%PROGRAM%" 1>&2
exit /b 2
:cannot_write
echo install.cmd: cannot write "%MANIFEST%" 1>&2
exit /b 1
:cannot_register
echo install.cmd: cannot write the registry key %~1 1>&2
exit /b 1
