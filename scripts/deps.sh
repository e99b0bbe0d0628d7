#!/usr/bin/env bash
# Installs the Debian packages the build needs and the machine lacks.
# Usage: scripts/deps.sh [extra-package ...]
# An index that fails to update (a mirror in the middle of a sync) does not
# stop the install: whatever can be had is installed, the rest reported.
set -u

need=(g++ cmake ninja-build libgtest-dev libgmock-dev pkg-config junit4 libhamcrest-java libbenchmark-dev)
# The volneda tool's JSON output; the Python package's tests; its pip
# install into a virtual environment, offline (the venv module, and the
# setuptools and wheel that build the package).
need+=(nlohmann-json3-dev python3-pytest python3-venv python3-setuptools python3-setuptools-whl python3-wheel-whl)
# volneda serve (the reader console).
need+=(libcpp-httplib-dev)
# volneda gateway (MQTT, through libmosquitto), and the broker, its clients
# and openssl (the certificates of the TLS cases) for the gateway's tests.
need+=(libmosquitto-dev mosquitto mosquitto-clients openssl)
# make package: the .deb's dependencies from what its ELF files need.
need+=(dpkg-dev file)
# The driver's PC/SC backend (its headers; the library is loaded at run
# time), and pcscd with the virtual reader vpcd for its tests.
need+=(libpcsclite-dev libpcsclite1 pcscd vsmartcard-vpcd)
need+=("$@")
# Words in place of packages: `fuzz`, the libFuzzer targets' compiler and its
# fuzzer and sanitizer runtimes; `browser`, what the console's tests in a real
# browser need (make test asks for it, make demo does not); `bench`, the peers
# the benchmarks are measured against.
for i in "${!need[@]}"; do
  case "${need[$i]}" in
    fuzz) unset 'need[i]'; need+=(clang libclang-rt-14-dev) ;;
    browser) unset 'need[i]'; need+=(chromium chromium-driver python3-selenium) ;;
    bench) unset 'need[i]'; need+=(libpugixml-dev librapidxml-dev) ;;
  esac
done

missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "deps: installing ${missing[*]}"
if [ "$(id -u)" -ne 0 ] && ! command -v sudo >/dev/null; then
  echo "deps: cannot install ${missing[*]}: not root and no sudo; install them and run again" >&2
  exit 1
fi
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q >/dev/null 2>&1 || echo "deps: apt-get update reported errors; trying with the indexes there are" >&2
if ! $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null 2>&1; then
  # One package at a time, so that one that cannot be had does not keep
  # the others out.
  failed=()
  for p in "${missing[@]}"; do
    $SUDO apt-get install -y -q --no-install-recommends "$p" >/dev/null 2>&1 || failed+=("$p")
  done
  if [ ${#failed[@]} -gt 0 ]; then
    echo "deps: could not install: ${failed[*]}" >&2
    exit 1
  fi
fi
exit 0
