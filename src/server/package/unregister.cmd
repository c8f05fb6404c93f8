@echo off
rem Removes what register.cmd wrote: for every user (as administrator), or
rem with /user for the current user only. Each DLL is unregistered with the
rem regsvr32 of its own kind, as register.cmd registers it; where 32-bit
rem programs cannot run, x64\ alone.
setlocal
set "here=%~dp0"
set "flags=/u"
if /i "%~1"=="/user" set "flags=/u /n /i:user"
set "regsvr64="
set "regsvr32=%SystemRoot%\System32\regsvr32.exe"
if defined PROCESSOR_ARCHITEW6432 set "regsvr64=%SystemRoot%\Sysnative\regsvr32.exe"
if not defined PROCESSOR_ARCHITEW6432 if /i not "%PROCESSOR_ARCHITECTURE%"=="x86" (
  set "regsvr64=%SystemRoot%\System32\regsvr32.exe"
  set "regsvr32=%SystemRoot%\SysWOW64\regsvr32.exe"
)
rem Each status is read on the line after its command, never with ||:
rem Wine's command interpreter runs the right side of || whatever the status.
set "status=0"
if not defined regsvr64 goto x86
"%regsvr64%" %flags% "%here%x64\QORVEL.dll"
if not %errorlevel%==0 set "status=1"
:x86
if not exist "%regsvr32%" goto done
"%regsvr32%" %flags% "%here%x86\QORVEL.dll"
if %errorlevel%==9009 if defined regsvr64 goto done
if not %errorlevel%==0 set "status=1"
:done
exit /b %status%
