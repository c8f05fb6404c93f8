#!/bin/sh
# Checks the export table of a QORVEL.dll with objdump (from Linux, so it
# also checks the 32-bit DLL): exactly the five entry points of an
# in-process server, under their undecorated names, and no C++ runtime DLL
# among the imports (the runtime is linked statically).
#   check_exports.sh OBJDUMP DLL
set -eu
objdump=$1 dll=$2
exports=$("$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort | tr '\n' ' ')
expected="DllCanUnloadNow DllGetClassObject DllInstall DllRegisterServer DllUnregisterServer "
if [ "$exports" != "$expected" ]; then
  echo "FAIL $dll exports: '$exports', expected '$expected'"
  exit 1
fi
imports=$("$objdump" -p "$dll" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
case "$imports" in
  *libstdc++*|*libgcc*|*libwinpthread*)
    echo "FAIL $dll imports the compiler runtime: $imports"
    exit 1;;
esac
echo "ok $dll: $exports; imports $imports"
