#!/usr/bin/env bash
# The lookups on billing-large.mdb timed through QORVEL.dll under Wine and
# through the Linux library on this machine, by the same program and
# procedure (bench/lookup_timing.cc), with the ratio Wine / Linux for each.
# A benchmark, not a test: run it on an otherwise idle machine.
#
#   bench/wine_ratio.sh
#
# Builds the program twice, as Release builds with the same compiler
# version: for Linux (build-bench/linux; it calls qorvel::KX) and for 64-bit
# Windows (build-bench/win64, with QORVEL.dll built as the release package
# builds it). The DLL is registered in a fresh temporary Wine prefix (no
# database provider, so QORVEL's own engine answers) and called through COM,
# early bound, as a compiled report host calls it; the column "direct" is
# the same Windows program calling the library linked into it, without COM.
#
#   first answer   each lookup of FIRST in a new process on a fresh copy of
#                  the file: open, password check, loading of the tables
#                  the statement names, indexes, the answer; median of RUNS
#                  processes
#   warm           the sixteen lookups with everything loaded, per call:
#                  the median of RUNS processes' medians of ROUNDS rounds of
#                  64 calls (64 clients)
# The three kinds of process take turns, so that a load on the machine
# that comes and goes falls on all three alike.
#
#   FIRST    lookups for first answers (default: CreditAmount InvoiceBalance
#            PrevInvDateEntered LastPaymentDate, one per table or join)
#   RUNS     processes per figure (default 5)
#   ROUNDS   rounds per warm lookup and process (default 51)
#   JOBS     parallel build jobs (default 2)
# The Windows and Linux answers must agree (a checksum of each lookup's
# answers); the script stops when they do not.
set -euo pipefail
cd "$(dirname "$0")/.."
export CCACHE_BASEDIR="$PWD"
jobs="${JOBS:-2}"
runs="${RUNS:-5}"
rounds="${ROUNDS:-51}"
read -r -a first_lookups <<<"${FIRST:-CreditAmount InvoiceBalance PrevInvDateEntered LastPaymentDate}"
wine64=/usr/lib/wine/wine64
large="${QORVEL_SHARED_DIR:-$PWD/../shared}/fixtures/billing-large.mdb"
[ -f "$large" ] || { echo "wine_ratio: $large not found" >&2; exit 1; }

work=$(mktemp -d /tmp/qorvel-bench.XXXXXX)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  if [ -d "$WINEPREFIX" ]; then
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
echo "== building (build-bench/linux, build-bench/win64)" >&2
if ! {
  cmake -S . -B build-bench/linux -DCMAKE_BUILD_TYPE=Release -DQORVEL_TESTS=OFF "${launcher[@]}" &&
    cmake --build build-bench/linux -j "$jobs" --target qorvel_lookup_timing &&
    cmake -S . -B build-bench/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
      -DCMAKE_BUILD_TYPE=Release -DQORVEL_TESTS=OFF "${launcher[@]}" &&
    cmake --build build-bench/win64 -j "$jobs" --target qorvel_lookup_timing
} >"$work/build.log" 2>&1; then
  tail -40 "$work/build.log" >&2
  exit 1
fi

echo "== a fresh Wine prefix, QORVEL.dll registered" >&2
wine_run() { LC_ALL=en_US.UTF-8 LANG=en_US.UTF-8 "$wine64" "$@" </dev/null | tr -d '\r'; }
mkdir -p "$WINEPREFIX"
wine_run wineboot -i >/dev/null 2>&1
wineserver -w
wineserver -p  # one server for every run
wine_run regsvr32 /s "Z:${PWD//\//\\}\\build-bench\\win64\\QORVEL.dll"

# run SIDE ARGUMENTS...: the timing program of linux, com or direct.
run() {
  local side=$1
  shift
  case $side in
    linux) build-bench/linux/qorvel_lookup_timing "$@" ;;
    com) wine_run build-bench/win64/qorvel_lookup_timing.exe "$@" ;;
    direct) wine_run build-bench/win64/qorvel_lookup_timing.exe "$@" --direct ;;
  esac
}
sides=(linux com direct)

# Lines "SIDE LOOKUP VALUE [CHECKSUM]", one per process and figure.
echo "== warm lookups ($runs processes each)" >&2
for ((i = 0; i < runs; i++)); do
  for side in "${sides[@]}"; do
    run "$side" warm "$large" "$rounds" | awk -v side="$side" '$1 == "warm" { print side, $2, $3, $4 }'
  done
done > "$work/warm"
# Every process of every side gave the same answers.
if [ "$(awk '{ print $2, $4 }' "$work/warm" | sort -u | wc -l)" -ne 16 ]; then
  awk '{ print $2, $4, $1 }' "$work/warm" | sort -u >&2
  echo "wine_ratio: the answers differ between Linux and Windows, or between runs" >&2
  exit 1
fi

echo "== first answers ($runs processes each)" >&2
for lookup in "${first_lookups[@]}"; do
  for ((i = 0; i < runs; i++)); do
    for side in "${sides[@]}"; do
      cp -p "$large" "$work/copy.mdb"  # its own time: a file just written is loaded once it is still
      run "$side" first "$lookup" "$work/copy.mdb" | awk -v side="$side" '$1 == "first" { print side, $2, $3 }'
      rm -f "$work/copy.mdb"
    done
  done
done > "$work/first"

# table HEADING UNIT < FIGURES: per lookup (in the order first seen) the
# median of each side, and the ratio of Wine (COM) to Linux.
table() {
  echo
  echo "$1"
  awk -v unit="$2" '
    function median(key,   n, i, j, t, v) {
      n = split(values[key], v, " ")
      for (i = 2; i <= n; i++) for (j = i; j > 1 && v[j - 1] + 0 > v[j] + 0; j--) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
      return v[int((n + 1) / 2)]
    }
    !($2 in seen) { seen[$2] = 1; order[++count] = $2 }
    { values[$1 " " $2] = values[$1 " " $2] " " $3 }
    END {
      printf "%-24s %11s %11s %11s %11s\n", "lookup", "Linux " unit, "Wine " unit, "direct " unit, "Wine/Linux"
      for (k = 1; k <= count; k++) {
        name = order[k]; l = median("linux " name); w = median("com " name); d = median("direct " name)
        printf "%-24s %11.1f %11.1f %11.1f %11.2f\n", name, l, w, d, w / l
        logs += log(w / l)
      }
      if (count > 1) printf "%-24s %11s %11s %11s %11.2f\n", "geometric mean", "", "", "", exp(logs / count)
    }'
}

echo "QORVEL lookups on billing-large.mdb: the Linux library, and QORVEL.dll under $("$wine64" --version)"
echo "called through COM (direct: the library linked into the Windows program); $(nproc) processors, $(uname -sr)"
table "First answer (a new process, a fresh copy of the file; median of $runs)" ms < "$work/first"
table "Warm, per call (median of $runs processes' medians of $rounds rounds of 64 calls)" us < "$work/warm"
