#!/usr/bin/python3
"""Installs and removes the installer templates, and a package built from one, with Wine.

    install_with_wine.py KITBINDER_CLI TEMPLATE.msi...

Needs an X display (run it under xvfb-run). In one fresh Wine prefix, each template is
installed silently, its Add/Remove Programs entry and target folder are checked against
the template's own properties, and it is removed again. A copy of the first template
with the welcome dialog's sequence number made negative and a support address set is
installed with the full user interface: it must go straight through to the finished
dialog, which one Enter closes, and register the support address. Last, KITBINDER_CLI
builds a small French project into a package, which is installed into a folder of the
user's choosing and must leave neither file, folder nor shortcut behind when removed.
Exits 1 on a failure.
"""

import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "test_support"))
import needs  # noqa: E402

UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
SUPPORT_URL = "https://example.org/support"
CHOSEN_FOLDER = r"C:\Outils choisis\Boîte"
PROJECT_TITLE = "Boîte à outils"
PROJECT_FILE = "lisezmoi.txt"
PROJECT_SHORTCUT = "Lisez-moi"
PROJECT = f"""[properties]
title={PROJECT_TITLE}
version=2.1.0
author=Essais
language=fr
[files]
file0path={PROJECT_FILE}
file0shortcutname={PROJECT_SHORTCUT}
"""
INSTALL_TIMEOUT = 120


class Failure(Exception):
    pass


def run(args, env=None, timeout=INSTALL_TIMEOUT):
    return subprocess.run(args, env=env, capture_output=True, timeout=timeout)


def template_properties(path):
    """The Property table as msiinfo reads it."""
    out = run(["msiinfo", "export", str(path), "Property"]).stdout.decode("utf-8")
    rows = [line.split("\t") for line in out.splitlines()[3:]]
    return {row[0]: row[1] for row in rows if len(row) == 2}


class WinePrefix:
    def __init__(self, folder):
        self.folder = folder
        self.env = dict(os.environ, WINEPREFIX=str(folder / "prefix"), WINEDEBUG="-all")
        run(["wine", "wineboot", "-i"], self.env)
        run(["wineserver", "-w"], self.env)

    def msiexec(self, *args):
        return run(["wine", "msiexec", *args], self.env).returncode

    def uninstall_entry(self, product_code):
        """The product's Add/Remove Programs values, or None when it is not registered."""
        exported = self.folder / "entry.reg"
        result = run(["wine", "reg", "export", rf"{UNINSTALL_KEY}\{product_code}",
                      str(exported), "/reg:32", "/y"], self.env)
        if result.returncode != 0:
            return None
        values = {}
        for line in exported.read_text(encoding="utf-16").splitlines():
            name, sep, value = line.partition("=")
            if sep and name.startswith('"') and value.startswith('"'):
                values[name.strip('"')] = value[1:-1]
        return values

    def close(self):
        run(["wineserver", "-k"], self.env)


def check_entry(entry, properties, support_url=""):
    expected = {"DisplayName": properties["ProductName"],
                "DisplayVersion": properties["ProductVersion"],
                "Publisher": properties["Manufacturer"], "HelpLink": support_url}
    for name, value in expected.items():
        if entry.get(name) != value:
            raise Failure(f"{name} is {entry.get(name)!r}, expected {value!r}")


def logged_property(log, name):
    prefix = f"Property(S): {name} = "
    for line in log.read_text(encoding="cp1252").splitlines():
        if line.startswith(prefix):
            return line[len(prefix):]
    return None


def install_silently(wine, template):
    properties = template_properties(template)
    code = properties["ProductCode"]
    log = wine.folder / f"{template.stem}.log"
    if wine.msiexec("/i", str(template), "/qn", "/l*v", str(log)) != 0:
        raise Failure("silent installation failed")
    entry = wine.uninstall_entry(code)
    if entry is None:
        raise Failure("the product is not registered after installation")
    check_entry(entry, properties)
    target = logged_property(log, "TARGETDIR")
    expected = f"{logged_property(log, 'ProgramFilesFolder')}{properties['TargetDirName']}\\"
    if target != expected:
        raise Failure(f"installed into {target!r}, expected {expected!r}")
    remove(wine, code)


def remove(wine, code):
    if wine.msiexec("/x", code, "/qn") != 0:
        raise Failure("silent removal failed")
    if wine.uninstall_entry(code) is not None:
        raise Failure("the product is still registered after removal")


def without_questions(wine, template):
    """A copy of the template as the build leaves it for a no-questions project."""
    copy = wine.folder / "no-questions.msi"
    shutil.copyfile(template, copy)
    result = run(["msibuild", str(copy),
                  "-q", "UPDATE `InstallUISequence` SET `Sequence` = -1230 "
                        "WHERE `Action` = 'WelcomeForm'",
                  "-q", f"UPDATE `Property` SET `Value` = '{SUPPORT_URL}' "
                        "WHERE `Property` = 'SupportURL'"])
    if result.returncode != 0:
        raise Failure(f"msibuild could not edit the copy: {result.stderr.decode()}")
    return copy


def visible_windows(wine):
    result = run(["xdotool", "search", "--onlyvisible", "--name", "."], wine.env)
    return result.stdout.decode().split()


def install_without_questions(wine, template):
    copy = without_questions(wine, template)
    properties = template_properties(copy)
    log = wine.folder / "no-questions.log"
    installer = subprocess.Popen(["wine", "msiexec", "/i", str(copy), "/l*v", str(log)],
                                 env=wine.env, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
    try:
        window = wait_for_finished_dialog(wine, installer, log)
        run(["xdotool", "windowfocus", "--sync", window, "key", "Return"], wine.env)
        if installer.wait(timeout=INSTALL_TIMEOUT) != 0:
            raise Failure(f"msiexec ended with {installer.returncode}")
    finally:
        if installer.poll() is None:
            installer.kill()
    entry = wine.uninstall_entry(properties["ProductCode"])
    if entry is None:
        raise Failure("the product is not registered after installation")
    check_entry(entry, properties, SUPPORT_URL)
    remove(wine, properties["ProductCode"])


def wait_for_finished_dialog(wine, installer, log):
    """Returns the window of the finished dialog once it is the only one open. Any dialog
    asking a question on the way would keep the installer from getting there."""
    finished = template_exit_dialog(wine.folder / "no-questions.msi")
    deadline = time.monotonic() + INSTALL_TIMEOUT
    while True:
        if log.exists() and f": {finished}." in log.read_text(encoding="cp1252"):
            windows = visible_windows(wine)
            if len(windows) == 1:
                return windows[0]
        if installer.poll() is not None or time.monotonic() > deadline:
            raise Failure("the installation did not reach the finished dialog on its own")
        time.sleep(0.5)


def template_exit_dialog(path):
    """The dialog the user interface sequence shows after a successful installation."""
    out = run(["msiinfo", "export", str(path), "InstallUISequence"]).stdout.decode("utf-8")
    rows = [line.split("\t") for line in out.splitlines()[3:]]
    return next(row[0] for row in rows if len(row) == 3 and row[2] == "-1")


def install_package_into_chosen_folder(wine, cli):
    package = build_project(wine.folder / "project", cli)
    code = template_properties(package)["ProductCode"]
    drive_c = wine.folder / "prefix" / "drive_c"
    try:
        if wine.msiexec("/i", str(package), f"TARGETDIR={CHOSEN_FOLDER}", "/qn") != 0:
            raise Failure("silent installation failed")
        installed = drive_c / CHOSEN_FOLDER[3:].replace("\\", "/") / PROJECT_FILE
        if not installed.is_file() or not list(drive_c.rglob(PROJECT_SHORTCUT + ".lnk")):
            raise Failure(f"{installed} or its shortcut is missing after installation")
        remove(wine, code)
        if installed.parent.exists() or list(drive_c.rglob(PROJECT_SHORTCUT + ".lnk")):
            raise Failure(f"{installed.parent} or the shortcut is left after removal")
    finally:
        if wine.uninstall_entry(code) is not None:
            wine.msiexec("/x", code, "/qn")


def build_project(folder, cli):
    folder.mkdir()
    (folder / PROJECT_FILE).write_text("Lisez-moi\n")
    project = folder / "project.kbr"
    project.write_text(PROJECT, encoding="utf-8")
    result = run([str(cli), "build", str(project)])
    if result.returncode != 0:
        raise Failure(f"kitbinder-cli build failed: {result.stdout.decode()}")
    return folder / f"{PROJECT_TITLE}.msi"


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    if not os.environ.get("DISPLAY"):
        sys.exit("install_with_wine.py needs an X display: run it under xvfb-run")
    needs.require("wine", "xdotool", "msibuild", "msiinfo")
    cli = pathlib.Path(argv[1]).resolve()
    templates = [pathlib.Path(p).resolve() for p in argv[2:]]
    failures = 0
    with tempfile.TemporaryDirectory(prefix="kitbinder-wine-") as folder:
        wine = WinePrefix(pathlib.Path(folder))
        try:
            steps = [(t.name, install_silently, t) for t in templates]
            steps.append((f"{templates[0].name} without questions", install_without_questions,
                          templates[0]))
            steps.append(("a package installed into a chosen folder",
                          install_package_into_chosen_folder, cli))
            for name, step, subject in steps:
                try:
                    step(wine, subject)
                    print(f"ok: {name}")
                except (Failure, subprocess.TimeoutExpired) as failure:
                    print(f"FAILED: {name}: {failure}")
                    failures += 1
                    if subject in templates:
                        # The templates share a product code: leave none installed.
                        wine.msiexec("/x", template_properties(subject)["ProductCode"], "/qn")
        finally:
            wine.close()
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
