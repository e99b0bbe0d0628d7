#!/usr/bin/env bash
# A tour of the library on the simulated reader of examples/: the reader
# list rfconfig.ini, the tag templates SWTT.INI and the tag field
# tagfield.ini.  `volneda demo` prints each step's command and what it shows.
set -eu
BUILD=${1:-build}
cd "$(dirname "$0")/.."
# Relative paths: the template name completed from the reader list's
# directory must fit 63 characters.
export TAGDRV_FIELD=examples/tagfield.ini
exec "$BUILD/bin/volneda" --config examples/rfconfig.ini demo
