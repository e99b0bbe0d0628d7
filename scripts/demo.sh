#!/usr/bin/env bash
# A short session against the simulated reader, from the examples: the
# reader list, the tag templates and the simulated tag field.
set -eu
BUILD=${1:-build}
cd "$(dirname "$0")/.."
# Relative paths: the template name completed from the reader list's
# directory must fit 63 characters.
export TAGDRV_FIELD=examples/tagfield.ini
exec "$BUILD/bin/volneda" demo examples/rfconfig.ini "${2:-}"
