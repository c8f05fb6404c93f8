@echo off
rem Registers QORVEL.dll (class QORVEL.KX) for every user of this computer
rem (run it as administrator), or with /user for the current user only.
rem On 64-bit Windows both DLLs are registered: x86\ for 32-bit report
rem hosts (most of them), x64\ for 64-bit ones.
setlocal
set "here=%~dp0"
set "flags="
if /i "%~1"=="/user" set "flags=/n /i:user"
if exist "%SystemRoot%\SysWOW64\regsvr32.exe" (
  "%SystemRoot%\SysWOW64\regsvr32.exe" %flags% "%here%x86\QORVEL.dll" || exit /b 1
  "%SystemRoot%\System32\regsvr32.exe" %flags% "%here%x64\QORVEL.dll" || exit /b 1
) else (
  "%SystemRoot%\System32\regsvr32.exe" %flags% "%here%x86\QORVEL.dll" || exit /b 1
)
