@echo off
rem Registers QORVEL.dll (class QORVEL.KX) for every user of this computer
rem (run it as administrator), or with /user for the current user only.
rem On 64-bit Windows both DLLs are registered, each with the regsvr32 of
rem its own kind: x64\ for 64-bit report hosts, x86\ for 32-bit ones (most
rem of them); on 32-bit Windows x86\ alone. Where 32-bit programs cannot
rem run (a 64-bit system without its 32-bit subsystem), x64\ alone, with a
rem note. The exit status is 0 when every DLL that can run here is
rem registered, 1 otherwise.
setlocal
set "here=%~dp0"
set "flags="
if /i "%~1"=="/user" set "flags=/n /i:user"
rem The regsvr32 of each kind. From a 32-bit command prompt on 64-bit
rem Windows, System32 is the 32-bit one and Sysnative the 64-bit one.
set "regsvr64="
set "regsvr32=%SystemRoot%\System32\regsvr32.exe"
if defined PROCESSOR_ARCHITEW6432 set "regsvr64=%SystemRoot%\Sysnative\regsvr32.exe"
if not defined PROCESSOR_ARCHITEW6432 if /i not "%PROCESSOR_ARCHITECTURE%"=="x86" (
  set "regsvr64=%SystemRoot%\System32\regsvr32.exe"
  set "regsvr32=%SystemRoot%\SysWOW64\regsvr32.exe"
)
rem Each status is read on the line after its command, never with ||:
rem Wine's command interpreter runs the right side of || whatever the status.
if not defined regsvr64 goto x86
"%regsvr64%" %flags% "%here%x64\QORVEL.dll"
if not %errorlevel%==0 exit /b 1
:x86
if not exist "%regsvr32%" goto no32
"%regsvr32%" %flags% "%here%x86\QORVEL.dll"
rem regsvr32's own failures are 1 to 5; 9009 is the command prompt's
rem "cannot run this program".
if %errorlevel%==0 exit /b 0
if %errorlevel%==9009 goto no32
exit /b 1
:no32
if not defined regsvr64 exit /b 1
echo 32-bit programs cannot run on this system: x64\QORVEL.dll is registered
echo for 64-bit report hosts, x86\QORVEL.dll is not.
exit /b 0
