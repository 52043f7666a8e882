"""Installs a package silently with Wine's msiexec in a fresh prefix and checks that every given
file arrived, byte for byte, in Program Files (x86)/TITLE.

usage: install_with_wine.py PACKAGE TITLE FILE...
Exits 0 when all did; otherwise 1, saying why on standard error."""

import filecmp
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "package"))
import package_oracles as oracle  # noqa: E402


def main(package, title, files):
    with oracle.WinePrefix() as wine:
        code = wine.msiexec("/i", package, "/qn")
        if code != 0:
            return "msiexec /i ended with " + str(code)
        for path in files:
            installed = wine.program_files(title, os.path.basename(path))
            if not os.path.isfile(installed):
                return "not installed: " + installed
            if not filecmp.cmp(installed, path, shallow=False):
                return "installed with other bytes: " + installed
    return None


if __name__ == "__main__":
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    failure = main(sys.argv[1], sys.argv[2], sys.argv[3:])
    if failure:
        sys.exit(failure)
