@echo off
rem Removes what register.cmd wrote: for every user (as administrator), or
rem with /user for the current user only.
setlocal
set "here=%~dp0"
set "flags=/u"
if /i "%~1"=="/user" set "flags=/u /n /i:user"
if exist "%SystemRoot%\SysWOW64\regsvr32.exe" (
  "%SystemRoot%\SysWOW64\regsvr32.exe" %flags% "%here%x86\QORVEL.dll" || exit /b 1
  "%SystemRoot%\System32\regsvr32.exe" %flags% "%here%x64\QORVEL.dll" || exit /b 1
) else (
  "%SystemRoot%\System32\regsvr32.exe" %flags% "%here%x86\QORVEL.dll" || exit /b 1
)
