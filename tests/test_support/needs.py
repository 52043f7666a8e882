"""What a test needs installed. A test whose tool is missing is skipped, with a message naming
the tool and the Debian package that installs it, instead of failing on the first command.

In a test script:   needs.require("msiinfo", "wine")  (exits with SKIP when one is missing)
From a C++ test:    python3 needs.py msiinfo wine      (prints the message, exits with SKIP)
"""
import importlib.util
import os
import pwd
import shutil
import subprocess
import sys

# The exit status of a skipped test script (ctest's SKIP_RETURN_CODE).
SKIP = 77

# Each tool the tests run -> the Debian package it comes with.
PACKAGES = {
    "msiinfo": "msitools", "msibuild": "msitools", "wixl": "wixl",
    "cabextract": "cabextract", "gcab": "gcab", "7z": "p7zip-full",
    "olefile": "python3-olefile",  # a Python module
    "wine": "wine", "wineserver": "wine", "x86_64-w64-mingw32-gcc": "gcc-mingw-w64-x86-64",
    "x86_64-w64-mingw32-windres": "binutils-mingw-w64-x86-64", "osslsigncode": "osslsigncode",
    "xvfb-run": "xvfb", "xdotool": "xdotool", "xclip": "xclip",
    "desktop-file-validate": "desktop-file-utils", "appstreamcli": "appstream",
    "xmllint": "libxml2-utils", "update-mime-database": "shared-mime-info",
}


def installed(tool):
    if PACKAGES[tool].startswith("python3-"):
        return importlib.util.find_spec(tool) is not None
    return shutil.which(tool) is not None


def missing_message(tools):
    """"needs TOOL (Debian package PACKAGE), ..." for the tools not installed; "" if none."""
    missing = ["%s (Debian package %s)" % (t, PACKAGES[t]) for t in tools if not installed(t)]
    return "needs " + ", ".join(missing) if missing else ""


def require(*tools):
    message = missing_message(tools)
    if message:
        print("SKIP: " + message)
        sys.exit(SKIP)


def unreachable_by_nobody(program):
    """Why the user nobody cannot run `program` (as root, the tests run it as nobody), or ""."""
    if os.geteuid() != 0:
        return ""
    nobody = pwd.getpwnam("nobody")

    def become_nobody():
        os.setgid(nobody.pw_gid)
        os.setuid(nobody.pw_uid)
    if subprocess.run(["test", "-x", program], preexec_fn=become_nobody).returncode == 0:
        return ""
    return ("the user nobody cannot run %s: a folder above it is closed to other users"
            % program)


if __name__ == "__main__":
    message = missing_message(sys.argv[1:])
    print(message, end="")
    sys.exit(SKIP if message else 0)
