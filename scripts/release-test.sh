#!/usr/bin/env bash
# The Windows release package on a machine with nothing else installed:
# builds qorvel-windows-1.03.zip (scripts/package-windows.sh), unpacks it
# under "C:\Program Files" of a fresh Wine prefix (which registers no
# database provider, so the lookups are answered by QORVEL's own engine),
# registers it with its register.cmd, runs the five-line script of its
# README.txt verbatim through Wine's cscript (VBScript) on a copy of
# billing.mdb at the script's own path C:\data\billing.mdb, checks the
# answers, and unregisters it with unregister.cmd. Then the same for the
# current user only (/user), where only the registry keys are checked: Wine's
# COM finds no class registered for the user alone.
#
# Only the 64-bit DLL can run here (the kernel runs no 32-bit programs):
# the first round has no 32-bit regsvr32 at all, the second a 32-bit one
# that cannot start; both times register.cmd must register x64\ and say
# that x86\ is not registered.
#
# Leaves nothing behind: the zip, the prefix and the copy are made in a
# temporary folder and removed (the package's build folders stay in
# build-package/, as scripts/package-windows.sh leaves them).
#   QORVEL_SHARED_DIR   the folder with fixtures/ (default: ../shared)
set -euo pipefail
cd "$(dirname "$0")/.."
export CCACHE_BASEDIR="$PWD"
wine64=/usr/lib/wine/wine64
shared="${QORVEL_SHARED_DIR:-$PWD/../shared}"
fixture="$shared/fixtures/billing.mdb"
if [ ! -f "$fixture" ]; then
  echo "release-test: skipped, $fixture not found"
  exit 0
fi

work=$(mktemp -d /tmp/qorvel-release.XXXXXX)
prefix="$work/prefix"
cleanup() {
  if [ -d "$prefix" ]; then
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
    WINEPREFIX="$prefix" wineserver -w 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

echo "== the release package"
if ! OUT_DIR="$work" scripts/package-windows.sh >"$work/package.log" 2>&1; then
  tail -40 "$work/package.log" >&2
  fail "scripts/package-windows.sh"
fi
zip="$work/qorvel-windows-1.03.zip"
[ -f "$zip" ] || fail "scripts/package-windows.sh made no $zip"

echo "== a fresh Wine prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine takes the user locale from these (the answers below are en-US's);
# they are given to Wine alone, as this machine may lack the locale.
wine_run() { LC_ALL=en_US.UTF-8 LANG=en_US.UTF-8 "$wine64" "$@" </dev/null; }
mkdir -p "$prefix"
wine_run wineboot -i >/dev/null 2>&1
wineserver -w
wineserver -p  # one server for the whole test
wine_text() { wine_run "$@" | tr -d '\r'; }
for provider in Microsoft.Jet.OLEDB.4.0 Microsoft.ACE.OLEDB.12.0 Microsoft.ACE.OLEDB.16.0; do
  if wine_run reg query "HKCR\\$provider" >/dev/null 2>&1; then
    fail "the prefix registers $provider: the test would not reach QORVEL's own engine"
  fi
done

drive="$prefix/drive_c"
unzip -q "$zip" -d "$drive/Program Files"
home='C:\Program Files\qorvel-windows-1.03'
mkdir -p "$drive/data"
cp "$fixture" "$drive/data/billing.mdb"

# The README's script: its indented lines from "Set kx = ...", verbatim.
sed 's/\r$//' "$drive/Program Files/qorvel-windows-1.03/README.txt" |
  awk '/^  Set kx = CreateObject\("QORVEL\.KX"\)$/ { on = 1 } on && !/^  / { exit } on { print substr($0, 3) }' \
  > "$work/lookup.vbs"
lines=$(wc -l < "$work/lookup.vbs")
[ "$lines" -ge 2 ] && [ "$lines" -le 5 ] || fail "README.txt's script has $lines lines (2 to 5 expected)"
grep -q 'C:\\data\\billing.mdb' "$work/lookup.vbs" || fail "README.txt's script does not read C:\\data\\billing.mdb"
sed 's/$/\r/' "$work/lookup.vbs" > "$drive/data/lookup.vbs"
expected=$'330.5\n03/31/2011\n(555) 123-4567'

# The class is registered and answers the README's script.
check_registered() {
  wine_run reg query 'HKCR\QORVEL.KX\CLSID' >/dev/null 2>&1 || fail "register.cmd $round: no HKCR\QORVEL.KX"
  local answer
  answer=$(wine_text cscript //nologo 'C:\data\lookup.vbs') || fail "cscript lookup.vbs $round: exit status $?"
  if [ "$answer" != "$expected" ]; then
    printf 'README script printed:\n%s\nexpected:\n%s\n' "$answer" "$expected" >&2
    fail "the README's script $round"
  fi
  echo "ok: register.cmd $round, then the README's script answers: ${answer//$'\n'/ | }"
}
check_unregistered() {
  local key
  for key in 'HKCR\QORVEL.KX' 'HKCU\Software\Classes\QORVEL.KX' 'HKLM\Software\Classes\QORVEL.KX'; do
    if wine_run reg query "$key" >/dev/null 2>&1; then fail "unregister.cmd $round left $key"; fi
  done
  echo "ok: unregister.cmd $round removed the class"
}
run_cmd() {  # run_cmd SCRIPT [ARG]: the package's command script, its output
  wine_text cmd /c "$home\\$1" "${@:2}" || fail "$1 ${*:2}: exit status $?"
}
note="32-bit programs cannot run on this system"

echo "== for every user (no 32-bit regsvr32 on this system)"
round="(every user)"
[ ! -e "$drive/windows/syswow64/regsvr32.exe" ] || fail "the prefix has a 32-bit regsvr32.exe"
out=$(run_cmd register.cmd)
grep -q "$note" <<<"$out" || fail "register.cmd says nothing of x86\\QORVEL.dll: $out"
wine_run reg query 'HKLM\Software\Classes\QORVEL.KX' >/dev/null 2>&1 ||
  fail "register.cmd did not register for every user"
check_registered
run_cmd unregister.cmd >/dev/null
check_unregistered

echo "== for the current user (a 32-bit regsvr32 that cannot start: Wine's cmd says so below)"
round="/user"
printf 'int main(void) { return 0; }\n' > "$work/stub.c"
i686-w64-mingw32-gcc-posix -o "$drive/windows/syswow64/regsvr32.exe" "$work/stub.c"
out=$(run_cmd register.cmd /user)
grep -q "$note" <<<"$out" || fail "register.cmd /user says nothing of x86\\QORVEL.dll: $out"
if wine_run reg query 'HKLM\Software\Classes\QORVEL.KX' >/dev/null 2>&1; then
  fail "register.cmd /user registered for every user"
fi
# Wine's COM reads classes from HKEY_LOCAL_MACHINE\Software\Classes only
# (no per-user view of HKEY_CLASSES_ROOT), so the script cannot find a
# class registered for the user alone: the keys are checked instead.
wine_run reg query 'HKCU\Software\Classes\QORVEL.KX\CLSID' >/dev/null 2>&1 ||
  fail "register.cmd /user did not register for the user"
echo "ok: register.cmd /user registered x64\QORVEL.dll for the current user only"
run_cmd unregister.cmd /user >/dev/null
check_unregistered

echo "ok: the release package registers, answers from billing.mdb with no provider installed, and unregisters"
