#!/usr/bin/env bash
# Installs what the Windows builds need: the mingw-w64 cross compilers for
# 32- and 64-bit Windows, GoogleTest's sources, and Wine to run the tests.
# Usage: scripts/windows-deps.sh [--no-wine32]
# Exit status: 0 when the compilers are there (Wine may still be missing:
# the test script reports that), 1 when the compilers could not be had.
set -u
want_wine32=1
[ "${1:-}" = "--no-wine32" ] && want_wine32=0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null; then SUDO=sudo; else
    echo "windows-deps: not root and no sudo; install the packages by hand" >&2
  fi
fi
export DEBIAN_FRONTEND=noninteractive

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

updated=0
apt_update() {
  [ $updated -eq 1 ] && return 0
  updated=1
  # One index that cannot be fetched (a mirror in the middle of a sync) does
  # not stop the install: the packages of the other indexes can still be had.
  $SUDO apt-get update -q >/dev/null 2>&1 ||
    echo "windows-deps: apt-get update reported errors; trying with the indexes there are" >&2
}

install_each() {
  local failed=() p
  local missing=()
  for p in "$@"; do installed "$p" || missing+=("$p"); done
  [ ${#missing[@]} -eq 0 ] && return 0
  apt_update
  echo "windows-deps: installing ${missing[*]}"
  if ! $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null 2>&1; then
    for p in "${missing[@]}"; do
      $SUDO apt-get install -y -q --no-install-recommends "$p" >/dev/null 2>&1 || failed+=("$p")
    done
  fi
  if [ ${#failed[@]} -gt 0 ]; then
    echo "windows-deps: could not install: ${failed[*]}" >&2
    return 1
  fi
  return 0
}

status=0
install_each g++-mingw-w64-i686 g++-mingw-w64-x86-64 googletest cmake ninja-build binutils-mingw-w64-i686 || status=1
for c in i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix; do
  command -v "$c" >/dev/null || { echo "windows-deps: $c is missing" >&2; status=1; }
done

# The SDK zips: import libraries for Microsoft's linker (llvm-dlltool), the
# link check with lld, zip.
install_each llvm lld clang zip unzip || echo "windows-deps: the SDK bundle tools could not all be installed" >&2

install_each wine64 || echo "windows-deps: wine64 could not be installed; the 64-bit tests cannot run" >&2

if [ $want_wine32 -eq 1 ] && ! installed wine32; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386 && updated=0
  fi
  install_each wine32 || echo "windows-deps: wine32 could not be installed; the 32-bit tests cannot run" >&2
fi
exit $status
