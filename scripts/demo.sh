#!/usr/bin/env bash
# A short session against the simulated reader, from the examples.
set -eu
BUILD=${1:-build}
cd "$(dirname "$0")/.."
exec "$BUILD/bin/volneda" demo
