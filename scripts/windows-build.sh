#!/usr/bin/env bash
# Cross-builds VOLNEDA.dll and the simulated TAGDRV.dll (and the test suite)
# for Windows with mingw-w64.
# Usage: scripts/windows-build.sh [32|64|all]   (default: all)
# Build directories: build-win32 and build-win64 (BUILD_WIN32, BUILD_WIN64);
# the DLLs end up in <build dir>/bin.
set -u
cd "$(dirname "$0")/.."
which=${1:-all}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
type=${CMAKE_BUILD_TYPE:-RelWithDebInfo}

build() {  # arch dir
  local arch=$1 dir=$2
  echo "== windows ($arch): configure $dir"
  mkdir -p "$dir"
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-$arch.cmake" >"$dir/configure.log" 2>&1 ||
    { cat "$dir/configure.log"; echo "windows ($arch): configure failed" >&2; return 1; }
  echo "== windows ($arch): build"
  cmake --build "$dir" -j "$jobs" || { echo "windows ($arch): build failed" >&2; return 1; }
  echo "windows ($arch): $dir/bin/VOLNEDA.dll $dir/bin/TAGDRV.dll"
}

status=0
case "$which" in
  32) build i686 "${BUILD_WIN32:-build-win32}" || status=1 ;;
  64) build x86_64 "${BUILD_WIN64:-build-win64}" || status=1 ;;
  all)
    build i686 "${BUILD_WIN32:-build-win32}" || status=1
    build x86_64 "${BUILD_WIN64:-build-win64}" || status=1 ;;
  *) echo "usage: $0 [32|64|all]" >&2; exit 2 ;;
esac
exit $status
