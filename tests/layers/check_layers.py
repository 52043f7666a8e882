#!/usr/bin/env python3
"""Proves that the layers are enforced by the build: a header of a layer a folder may not use
does not compile there, and one it may use does. Each case compiles a one-line file with the
exact command line the build uses for a source of the folder (from compile_commands.json).

usage: check_layers.py BUILD_DIR SOURCE_DIR
"""
import json
import os
import pathlib
import re
import subprocess
import sys
import tempfile

# (folder, header, may it be included there?)
CASES = [
    ("platform", "project/project_settings.h", False),
    ("project", "package/build_command.h", False),
    ("msi/storage", "msi/db/database.h", False),
    ("msi/db", "msi/storage/compound_file.h", True),
    ("msi/db", "msi/sql/view.h", False),
    ("msi/db", "cabinet/deflate/bit_writer.h", False),
    ("msi/sql", "msi/api/msi_interface.h", False),
    ("msi/api", "msi/sql/view.h", True),
    ("cabinet/deflate", "cabinet/writer/cabinet_writer.h", False),
    ("cabinet/writer", "cabinet/deflate/mszip_compressor.h", True),
    ("cabinet/writer", "cabinet/builder/cabinet_builder.h", False),
    ("cabinet/writer", "msi/db/database.h", False),
    ("cabinet/builder", "project/project_settings.h", False),
    ("validation", "msi/api/msi_interface.h", True),
    ("validation", "package/build_command.h", False),
    ("package", "validation/validator.h", True),
    ("package", "msi/api/msi_interface.h", True),
    ("package", "cabinet/builder/cabinet_builder.h", True),
    ("package", "ui/kitbinder_view.h", False),
    ("cli", "package/build_command.h", True),
    ("cli", "ui/kitbinder_doc.h", False),
    ("framework", "package/build_command.h", False),
    ("framework", "ui/kitbinder_doc.h", False),
    ("ui", "framework/document.h", True),
    ("ui", "package/build_command.h", True),
    ("ui", "app/main_frame.h", False),
    ("app", "ui/kitbinder_view.h", True),
]


def command_for(commands, src, folder):
    """The compile command of one source file directly in src/FOLDER."""
    for entry in commands:
        path = pathlib.Path(entry["file"])
        if path.parent == src / folder and path.suffix == ".cpp":
            return entry
    sys.exit(f"no source of src/{folder} in compile_commands.json")


def compiles(entry, header, scratch):
    probe = pathlib.Path(scratch) / "probe.cpp"
    probe.write_text(f'#include "{header}"\n')
    args = entry["command"].split() if "command" in entry else list(entry["arguments"])
    # Keep the compiler and its flags; drop the output and the source, check syntax only.
    kept, skip = [], False
    for arg in args:
        if skip:
            skip = False
            continue
        if arg in ("-o", "-c", "-MF", "-MT", "-MQ"):
            skip = True
            continue
        if arg == entry["file"] or arg in ("-MD", "-MMD"):
            continue
        kept.append(arg)
    result = subprocess.run(kept + ["-fsyntax-only", str(probe)], cwd=entry["directory"],
                            capture_output=True, text=True)
    return result.returncode == 0, result.stderr


def relative_includes(src):
    """Includes that climb out of a folder ("../x.h") would get round the layers."""
    found = []
    for path in src.rglob("*"):
        if path.suffix in (".h", ".cpp"):
            for number, line in enumerate(path.read_text().splitlines(), 1):
                if re.match(r'\s*#\s*include\s+"\.\./', line):
                    found.append(f"{path}:{number}: {line.strip()}")
    return found


def header_missing(errors, header):
    """Whether the compiler refused the probe because it could not find the header (g++ and
    clang word it differently)."""
    return f"{header}: No such file" in errors or f"'{header}' file not found" in errors


def main():
    build, source = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2]).resolve()
    src = source / "src"
    commands = json.loads((build / "compile_commands.json").read_text())
    failures = relative_includes(src)
    with tempfile.TemporaryDirectory() as scratch:
        for folder, header, allowed in CASES:
            ok, errors = compiles(command_for(commands, src, folder), header, scratch)
            if allowed and not ok:
                failures.append(f"src/{folder} cannot include {header}:\n{errors}")
            elif not allowed and (ok or not header_missing(errors, header)):
                failures.append(f"src/{folder} includes {header}, a layer it may not use"
                                + (f":\n{errors}" if errors else ""))
    for failure in failures:
        print(failure)
    print(f"{len(CASES)} includes checked, {len(failures)} wrong")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
