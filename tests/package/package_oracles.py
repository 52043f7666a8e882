"""Shared helpers for the package tests: building a project with kitbinder-cli, reading the
package back through msitools, and installing it with Wine's msiexec."""

import os
import shutil
import subprocess
import tempfile


def run(args, **kwargs):
    """Runs a command, returning CompletedProcess with text output."""
    return subprocess.run(args, capture_output=True, text=True, **kwargs)


def build(cli, project):
    """Runs `kitbinder-cli build` on a project file; returns the CompletedProcess."""
    return run([cli, "build", project])


def export_table(package, table):
    """The rows of a table as msiinfo exports them (in UTF-8): a list of lists of fields,
    without the three header lines. Raises when msiinfo fails."""
    # msiinfo writes the streams of binary columns into a folder of the current one.
    with tempfile.TemporaryDirectory() as scratch:
        out = subprocess.run(["msiinfo", "export", os.path.abspath(package), table],
                             capture_output=True, check=True, cwd=scratch)
    lines = out.stdout.decode("utf-8").split("\r\n")
    return [line.split("\t") for line in lines[3:] if line]


def rows_by_key(package, table):
    return {row[0]: row for row in export_table(package, table)}


def extract_stream(package, stream):
    out = subprocess.run(["msiinfo", "extract", package, stream], capture_output=True, check=True)
    return out.stdout


def suminfo(package):
    """msiinfo's listing of the summary information, whose texts it prints in the package's
    code page (Windows-1252 for ours)."""
    out = subprocess.run(["msiinfo", "suminfo", package], capture_output=True, check=True)
    return out.stdout.decode("cp1252")


def property_value(package, name):
    row = rows_by_key(package, "Property").get(name)
    return row[1] if row else None


def extract_cabinet(package, folder):
    """Extracts the package's embedded cabinet with cabextract into folder; returns the names."""
    cab = os.path.join(folder, "Instal01.cab")
    with open(cab, "wb") as f:
        f.write(extract_stream(package, "Instal01.cab"))
    out = subprocess.run(["cabextract", "-q", "-d", folder, cab], capture_output=True, text=True)
    if out.returncode != 0:
        raise AssertionError("cabextract failed: " + out.stderr)
    os.remove(cab)
    return sorted(os.listdir(folder))


class WinePrefix:
    """A fresh Wine prefix, removed on exit. The first use creates it (10 to 20 seconds).
    `arch` is "win64" (Wine's default) or "win32", a prefix of 32-bit Windows."""

    def __init__(self, arch="win64"):
        self.arch = arch

    def __enter__(self):
        self.path = tempfile.mkdtemp(prefix="kbwine.")
        # Wine links the prefix's desktop and documents to the home folder: a home of its own
        # keeps desktop shortcuts out of the real one.
        home = os.path.join(self.path, "home")
        os.mkdir(home)
        self.env = dict(os.environ, WINEPREFIX=self.path, WINEDEBUG="-all", WINEARCH=self.arch,
                        HOME=home)
        self.env.pop("DISPLAY", None)
        return self

    def __exit__(self, *exc):
        run(["wineserver", "-k"], env=self.env)
        shutil.rmtree(self.path, ignore_errors=True)

    def msiexec(self, *args):
        result = run(["wine", "msiexec", *args], env=self.env)
        run(["wineserver", "-w"], env=self.env)
        return result.returncode

    def drive_c(self, *parts):
        return os.path.join(self.path, "drive_c", *parts)

    def program_files(self, *parts):
        return self.drive_c("Program Files (x86)", *parts)

    def shortcut_exists(self, folder, label):
        """Whether the Start Menu holds the shortcut folder/label.lnk, for all users (a
        per-machine package) or for the current one."""
        programs = os.path.join("Microsoft", "Windows", "Start Menu", "Programs", folder, label + ".lnk")
        users = self.drive_c("users")
        candidates = [self.drive_c("ProgramData", programs)] + [
            os.path.join(users, user, "AppData", "Roaming", programs) for user in os.listdir(users)]
        return any(os.path.exists(path) for path in candidates)
