#!/bin/sh
# Installs the Python package with pip into a fresh virtual environment,
# offline, and runs examples with that environment's interpreter in a
# directory of their own: the package must come from the environment and
# find the library by itself.
#
#   venv_install.sh PYTHON PROJECT WORK EXAMPLES-DIR EXAMPLE...
#
# PROJECT is what pip installs (python/, build/python or an installed
# PREFIX/share/volneda/python); WORK is emptied first.  VOLNEDA_LIBRARY_DIR,
# when set, goes to the install alone.
set -eu
python=$1 project=$2 work=$3 examples=$4
shift 4
rm -rf "$work"
mkdir -p "$work/run"
"$python" -m venv "$work/venv"
venv=$work/venv/bin/python
# The build backend: setuptools and wheel, from Debian's wheels
# (python3-setuptools-whl, python3-wheel-whl) where the environment lacks them.
if ! "$venv" -c "import setuptools, wheel" 2>/dev/null; then
  "$venv" -m pip install -q --no-index --find-links /usr/share/python-wheels setuptools wheel
fi
"$venv" -m pip install -q --no-index --no-build-isolation "$project"
cp "$examples/rfconfig.ini" "$examples/SWTT.INI" "$examples/tagfield.ini" "$work/run/"
cd "$work/run"
unset PYTHONPATH VOLNEDA_LIBRARY VOLNEDA_LIBRARY_DIR
export TAGDRV_FIELD=tagfield.ini RF_RFID_CONFIG=
"$venv" -c 'import sys, volneda
where = volneda.__file__
print("volneda %s from %s" % (volneda.library_version(), where))
sys.exit(not where.startswith(sys.prefix))'
for example in "$@"; do
  "$venv" "$examples/python/$example.py" >"$example.out" 2>&1 || { cat "$example.out"; echo "$example failed"; exit 1; }
  echo "$example: ok ($(grep -c . "$example.out") lines)"
done
