#!/usr/bin/python3
"""Walks through a template's dialogs in Wine and saves a screenshot of each.

    xvfb-run -a -s "-screen 0 1024x768x24" screenshots.py TEMPLATE.msi OUT_DIR

For looking at the dialogs by hand (nothing is judged here): a copy of the template that
routes the welcome dialog through the licence dialog is installed in a fresh Wine prefix,
and the walk goes welcome, licence (agreeing), folder, browse, disk space, confirmation,
cancel question, interrupted; then the untouched template is installed to the end and run
again for the maintenance dialogs: repair or remove, removal confirmation, progress and
finished. The screenshots are OUT_DIR/NN-dialog.png.
"""

import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time

DIALOG_WIDTH = 370  # installer units, the width of the wizard dialogs


def run(*args, env=None):
    return subprocess.run(args, env=env, capture_output=True, timeout=120)


class Session:
    def __init__(self, folder, out_dir):
        self.env = dict(os.environ, WINEPREFIX=str(folder / "prefix"), WINEDEBUG="-all")
        self.out_dir = out_dir
        self.count = 0
        run("wine", "wineboot", "-i", env=self.env)
        run("wineserver", "-w", env=self.env)

    def start(self, *args):
        self.installer = subprocess.Popen(["wine", "msiexec", *args], env=self.env,
                                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(6)

    def newest_window(self):
        # Window ids grow as windows are made: the newest dialog has the largest.
        ids = run("xdotool", "search", "--onlyvisible", "--name", ".").stdout.split()
        return str(max(int(i) for i in ids)) if ids else None

    def click(self, x, y, then="new", width=DIALOG_WIDTH):
        """Clicks at installer units (x, y) of the newest dialog, which is `width` units
        wide, once that dialog has the input focus; then waits as `settle` says."""
        window = self.newest_window()
        run("xdotool", "windowfocus", "--sync", window)
        geometry = run("xdotool", "getwindowgeometry", "--shell", window).stdout.decode()
        values = dict(line.split("=") for line in geometry.split())
        scale = int(values["WIDTH"]) / width
        run("xdotool", "mousemove", str(int(values["X"]) + int(x * scale)),
            str(int(values["Y"]) + int(y * scale)), "sleep", "0.3", "click", "1")
        self.settle(window, then)

    def keys(self, *keys, then="new"):
        """Types keys into the newest dialog; then waits as `settle` says."""
        window = self.newest_window()
        run("xdotool", "windowfocus", "--sync", window, "key", "--delay", "300", *keys)
        self.settle(window, then)

    def settle(self, window, then):
        """Waits until a dialog newer than `window` is up ("new"), until `window` has
        closed ("gone"), or only a moment (None)."""
        def done():
            newest = self.newest_window()
            if then == "new":
                return newest is not None and int(newest) > int(window)
            return then is None or newest != window

        deadline = time.monotonic() + 30
        while not done() and time.monotonic() < deadline and self.installer.poll() is None:
            time.sleep(0.3)
        time.sleep(1)

    def shot(self, name):
        self.count += 1
        run("import", "-window", "root", str(self.out_dir / f"{self.count:02}-{name}.png"))

    def finish(self):
        self.installer.wait(timeout=120)


BACK, NEXT, CANCEL = (185, 251), (251, 251), (327, 251)


def walk_install(s, copy):
    s.start("/i", str(copy))
    s.shot("welcome")
    s.click(*NEXT)
    s.shot("licence")
    s.click(20, 207, then=None)
    s.shot("licence-agreed")
    s.click(*NEXT)
    s.shot("folder")
    s.click(325, 115)
    s.shot("browse")
    s.click(*CANCEL, then="gone")
    s.click(65, 176)
    s.shot("disk-space")
    s.click(*CANCEL, then="gone")
    s.click(*NEXT)
    s.shot("confirm")
    s.click(*CANCEL)
    s.shot("cancel-question")
    s.click(158, 65, width=260)
    s.shot("interrupted")
    s.click(*NEXT)
    s.finish()


def walk_maintenance(s, template):
    s.start("/i", str(template), "/qn")
    s.finish()
    s.start("/i", str(template))
    s.shot("maintenance")
    s.click(25, 167, then=None)
    s.click(*NEXT)
    s.shot("remove")
    s.click(*NEXT)
    s.settle(s.newest_window(), "new")  # from the progress dialog to the finished one
    s.shot("finished")
    s.click(*NEXT)
    s.finish()


def main(argv):
    if len(argv) != 3 or not os.environ.get("DISPLAY"):
        sys.exit(__doc__)
    template = pathlib.Path(argv[1]).resolve()
    out_dir = pathlib.Path(argv[2])
    out_dir.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory(prefix="kitbinder-shots-") as folder:
        folder = pathlib.Path(folder)
        copy = folder / template.name
        shutil.copyfile(template, copy)
        run("msibuild", str(copy), "-q",
            "UPDATE `Property` SET `Value` = 'EulaForm' "
            "WHERE `Property` = 'WelcomeForm_NextArgs' OR `Property` = 'FolderForm_PrevArgs'")
        s = Session(folder, out_dir)
        try:
            walk_install(s, copy)
            walk_maintenance(s, template)
        finally:
            run("wineserver", "-k", env=s.env)


if __name__ == "__main__":
    main(sys.argv)
