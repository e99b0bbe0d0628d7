#!/usr/bin/env bash
# Checks the export tables of the cross-built DLLs and runs the test suite
# under Wine: the 64-bit build under wine64, the 32-bit build under the
# 32-bit wine where this machine can run it.  Run scripts/windows-build.sh
# first.
# Usage: scripts/windows-test.sh [32|64|all]   (default: all)
# Exit status: 1 when a check or a test failed, or when no Windows test
# suite could run at all; a suite that cannot run is reported as SKIPPED.
# WINE_TIMEOUT (seconds, default 900) bounds each suite run.
set -u
cd "$(dirname "$0")/.."
which=${1:-all}
timeout_s=${WINE_TIMEOUT:-900}
export WINEDEBUG=${WINEDEBUG:--all}
# No prompts for the .NET and HTML engines a new prefix would offer.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree=;mshtml=}
prefix_base=${VOLNEDA_WINE_PREFIXES:-$HOME/.cache/volneda-wine}

failed=0
ran=0
skipped=()

suite() {  # bits dir wine
  local bits=$1 dir=$2 wine=$3
  if [ ! -f "$dir/bin/VOLNEDA.dll" ]; then
    echo "windows ($bits-bit): $dir/bin/VOLNEDA.dll missing; run scripts/windows-build.sh $bits" >&2
    failed=1
    return
  fi
  # A prefix of its own per word size: a 32-bit Wine refuses a 64-bit one.
  export WINEPREFIX="$prefix_base/win$bits"
  mkdir -p "$prefix_base"

  local why=""
  if [ ! -x "$wine" ]; then
    why="$wine is not installed (scripts/windows-deps.sh installs it)"
  elif ! timeout 120 "$wine" --version >/dev/null 2>&1; then
    why="$wine cannot run on this machine (a 32-bit Wine needs a kernel that runs 32-bit programs)"
  fi
  if [ -n "$why" ]; then
    echo "windows ($bits-bit): test suite SKIPPED: $why"
    skipped+=("$bits-bit")
  else
    # A new prefix takes a while to set up: do it once, before anything
    # with a shorter time limit runs a Windows program.
    timeout 600 "$wine" wineboot --init >/dev/null 2>&1 ||
      echo "windows ($bits-bit): setting up the Wine prefix $WINEPREFIX failed" >&2
  fi

  echo "== windows ($bits-bit): export table"
  # The checks read the DLLs with objdump; no Windows program runs.  (With
  # a working Wine, ctest first lists the suite's tests through it.)
  if ctest --test-dir "$dir" -R '^(export_names|dll_exports)$' --output-on-failure -V \
      >"$dir/export-check.log" 2>&1; then
    grep -E '^[0-9]+: -- ' "$dir/export-check.log" | sed 's/^[0-9]*: -- /  /'
    echo "windows ($bits-bit): export check passed"
  else
    grep -vE '^(UpdateCTestConfiguration|Test project|Constructing|Checking|Parse|Add test|Updating|Test command|Environment|Test timeout|Start testing|Done)' \
      "$dir/export-check.log" | tail -30
    echo "windows ($bits-bit): export check FAILED"
    failed=1
  fi

  [ -n "$why" ] && return

  echo "== windows ($bits-bit): test suite under $(basename "$wine") ($("$wine" --version 2>/dev/null))"
  # The whole suite in one process, from the build directory as ctest runs
  # it; TAGDRV.dll and VOLNEDA.dll lie beside the test program.
  local log="$dir/wine-tests.log" rc
  (cd "$dir" && timeout "$timeout_s" "$wine" bin/volneda_tests.exe --gtest_brief=1 >"$PWD/wine-tests.log" 2>&1)
  rc=$?
  grep -E '^\[  (PASSED|FAILED|SKIPPED) |^\[==========\]|Failure$|^/.*:[0-9]+: ' "$log" | tail -40
  if [ $rc -eq 124 ]; then
    echo "windows ($bits-bit): test suite TIMED OUT after ${timeout_s}s (log: $log)"
    failed=1
  elif [ $rc -ne 0 ]; then
    echo "windows ($bits-bit): test suite FAILED, status $rc (log: $log)"
    failed=1
  else
    echo "windows ($bits-bit): test suite passed"
  fi
  ran=$((ran + 1))

  # Programs that end while a reader context is alive (started, dispatcher
  # running, reader open, a thread blocked in DispatcherGetData): each must
  # end within its time limit, as a Windows process does.
  echo "== windows ($bits-bit): processes ending with live contexts"
  if ctest --test-dir "$dir" -L '^exit$' --output-on-failure >"$dir/wine-exit.log" 2>&1; then
    grep -E 'tests passed' "$dir/wine-exit.log"
    echo "windows ($bits-bit): exit tests passed"
  else
    grep -E 'Test +#|tests passed|Timeout|Failed' "$dir/wine-exit.log" | tail -20
    echo "windows ($bits-bit): exit tests FAILED (log: $dir/wine-exit.log)"
    failed=1
  fi
}

case "$which" in
  32) suite 32 "${BUILD_WIN32:-build-win32}" /usr/lib/wine/wine ;;
  64) suite 64 "${BUILD_WIN64:-build-win64}" /usr/lib/wine/wine64 ;;
  all)
    suite 32 "${BUILD_WIN32:-build-win32}" /usr/lib/wine/wine
    suite 64 "${BUILD_WIN64:-build-win64}" /usr/lib/wine/wine64 ;;
  *) echo "usage: $0 [32|64|all]" >&2; exit 2 ;;
esac

[ ${#skipped[@]} -gt 0 ] && echo "windows: SKIPPED (could not run): ${skipped[*]}"
if [ $ran -eq 0 ]; then
  echo "windows: no Windows test suite could run on this machine" >&2
  failed=1
fi
exit $failed
