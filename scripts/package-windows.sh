#!/usr/bin/env bash
# Builds the Windows release package qorvel-windows-1.03.zip: the 64-bit and
# 32-bit QORVEL.dll, register.cmd / unregister.cmd (for every user, or with
# /user for the current user) and a short README. Builds release DLLs of its
# own in build-package/win64 and build-package/win32 (no tests, no test-only
# options); the zip lands in build-package/, or in OUT_DIR.
#   JOBS   parallel build jobs (default 2)
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${JOBS:-2}"
out_dir="${OUT_DIR:-$PWD/build-package}"
mkdir -p "$out_dir"
version=1.03
name="qorvel-windows-$version"

for tool in cmake zip x86_64-w64-mingw32-g++-posix i686-w64-mingw32-g++-posix widl; do
  command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/windows-test.sh once, or install mingw-w64, mingw-w64-tools, libwine-dev, zip" >&2; exit 1; }
done

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

for arch in 64:x86_64 32:i686; do
  bits=${arch%%:*} cpu=${arch#*:}
  cmake -S . -B "build-package/win$bits" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-w64-$cpu.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DQORVEL_TESTS=OFF -DQORVEL_RECORD_MESSAGE_BOXES=OFF \
    "${launcher[@]}" >/dev/null
  cmake --build "build-package/win$bits" -j "$jobs" --target qorvel_server
done

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/$name/x64" "$stage/$name/x86"
cp build-package/win64/QORVEL.dll "$stage/$name/x64/"
cp build-package/win32/QORVEL.dll "$stage/$name/x86/"
# Windows text files: CR LF line ends.
for f in register.cmd unregister.cmd README.txt; do
  sed 's/\r$//; s/$/\r/' "src/server/package/$f" > "$stage/$name/$f"
done
# A fixed time stamp and no extra attributes: the same inputs give the same zip.
find "$stage/$name" -exec touch -h -d '2000-01-01 00:00:00' {} +
rm -f "$out_dir/$name.zip"
(cd "$stage" && find "$name" | LC_ALL=C sort | TZ=UTC zip -q -X -@ "$out_dir/$name.zip")
echo "$out_dir/$name.zip"
unzip -l "$out_dir/$name.zip" 2>/dev/null || true
