"""What pip needs beyond pyproject.toml: the version, the meanings table and
where the library lies.

The package looks for the library in the directories of volneda/_paths.py.
The build and the install write that file with directories relative to the
package; the copy pip installs lies elsewhere, so they are made absolute
here.  VOLNEDA_LIBRARY_DIR, when set while installing, names the library's
directory instead.  Without either (the source tree), the package finds the
library through VOLNEDA_LIBRARY or the system's library path.
"""
import atexit
import os
import re
import shutil
import tempfile

from setuptools import setup
from setuptools.command.build_py import build_py

HERE = os.path.dirname(os.path.abspath(__file__))
PACKAGE = os.path.join(HERE, "volneda")


def version():
    # VERSION beside this file in a build or an installed SDK; the project's
    # version in the source tree.
    try:
        with open(os.path.join(HERE, "VERSION"), encoding="utf-8") as f:
            return f.read().strip()
    except OSError:
        with open(os.path.join(HERE, os.pardir, "CMakeLists.txt"), encoding="utf-8") as f:
            return re.search(r"project\(VOLNEDA VERSION ([0-9.]+)", f.read()).group(1) + ".0"


def library_dirs():
    if os.environ.get("VOLNEDA_LIBRARY_DIR"):
        return [os.path.abspath(os.environ["VOLNEDA_LIBRARY_DIR"])]
    written = {}
    try:
        with open(os.path.join(PACKAGE, "_paths.py"), encoding="utf-8") as f:
            exec(f.read(), written)
    except OSError:
        return []
    return [os.path.normpath(os.path.join(PACKAGE, d)) for d in written.get("LIBRARY_DIRS", [])]


class BuildPy(build_py):
    def run(self):
        super().run()
        target = os.path.join(self.build_lib, "volneda")
        with open(os.path.join(target, "_paths.py"), "w", encoding="utf-8") as f:
            f.write("# Written by pip install: where the library lies.\nLIBRARY_DIRS = %r\n" % library_dirs())
        meanings = os.path.join(PACKAGE, "meanings.tsv")
        if not os.path.exists(meanings):
            meanings = os.path.join(HERE, os.pardir, "src", "meanings", "meanings.tsv")
        shutil.copyfile(meanings, os.path.join(target, "meanings.tsv"))


# The build's own files go to a scratch directory, not beside this file
# (which may be read-only, as under an installed prefix).
SCRATCH = tempfile.mkdtemp(prefix="volneda-setup-")
atexit.register(shutil.rmtree, SCRATCH, True)
setup(version=version(), cmdclass={"build_py": BuildPy},
      options={"build": {"build_base": SCRATCH}, "egg_info": {"egg_base": SCRATCH}})
