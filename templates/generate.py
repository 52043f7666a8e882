#!/usr/bin/python3
"""Writes one language's installer template as a folder of .idt text archives.

    generate.py TABLES_DIR TEXTS_FILE OUT_DIR

TABLES_DIR holds the language-neutral tables: .idt files whose values may name a text
as $(Key), and a Binary/ folder with the streams they refer to. TEXTS_FILE holds one
language's texts (see lang/en.txt for the format). OUT_DIR receives every table with the
texts filled in and encoded in the language's code page, _ForceCodepage.idt, and a copy
of the streams; `kitbinder-cli import` turns it into the template database.
"""

import pathlib
import re
import shutil
import sys

PLACEHOLDER = re.compile(r"\$\(([A-Za-z0-9_.]+)\)")
KEY_LINE = re.compile(r"^([A-Za-z0-9_.]+)\s*=\s*(.*)$")
# Control characters cannot stand in an archive field, and the texts never need one.
CONTROL_CHARACTER = re.compile(r"[\x00-\x1f\x7f]")


class TemplateError(Exception):
    pass


def read_texts(path):
    """Returns the texts of a language file as a dict.

    A line "Key = text" starts a text; following lines that begin with white space carry
    it on, joined with one space. Lines starting with "#" and blank lines are ignored.
    """
    texts = {}
    key = None
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        where = f"{path}:{number}"
        if not line.strip() or line.startswith("#"):
            continue
        if line[0].isspace():
            if key is None:
                raise TemplateError(f"{where}: continuation line without a key")
            texts[key] += " " + line.strip()
            continue
        match = KEY_LINE.match(line)
        if not match:
            raise TemplateError(f"{where}: expected 'Key = text'")
        key = match.group(1)
        if key in texts:
            raise TemplateError(f"{where}: {key} is defined twice")
        texts[key] = match.group(2).strip()
    return texts


def fill(text, texts, used, where):
    def replace(match):
        key = match.group(1)
        if key not in texts:
            raise TemplateError(f"{where}: no text for $({key})")
        used.add(key)
        return texts[key]

    return PLACEHOLDER.sub(replace, text)


def render_table(source, texts, used):
    """Returns the table's archive lines with texts filled in, and its code page line."""
    lines = source.read_text(encoding="utf-8").splitlines()
    if len(lines) < 3:
        raise TemplateError(f"{source}: an archive file needs three header lines")
    rows = []
    for number, line in enumerate(lines[3:], 4):
        where = f"{source}:{number}"
        filled = fill(line, texts, used, where)
        for field in filled.split("\t"):
            if CONTROL_CHARACTER.search(field):
                raise TemplateError(f"{where}: a text holds a control character")
        rows.append(filled)
    return lines[:3], rows


def encode(lines, code_page, source):
    text = "".join(line + "\r\n" for line in lines)
    try:
        return text.encode(f"cp{code_page}")
    except UnicodeEncodeError as error:
        raise TemplateError(f"{source}: {error.object[error.start:error.end]!r} "
                            f"has no place in code page {code_page}")


def write_table(source, out_dir, texts, used, code_page):
    header, rows = render_table(source, texts, used)
    non_ascii = any(not row.isascii() for row in rows)
    if non_ascii and source.stem != "_SummaryInformation":
        # The archive format names the code page of non-ASCII rows before the table name.
        header[2] = f"{code_page}\t{header[2]}"
    data = encode(header + rows, code_page, source)
    (out_dir / source.name).write_bytes(data)


def generate(tables_dir, texts_file, out_dir):
    texts = read_texts(texts_file)
    if "CodePage" not in texts or not texts["CodePage"].isdigit():
        raise TemplateError(f"{texts_file}: CodePage must be a number")
    code_page = int(texts["CodePage"])
    used = {"CodePage"}
    out_dir.mkdir(parents=True, exist_ok=True)
    for source in sorted(tables_dir.glob("*.idt")):
        write_table(source, out_dir, texts, used, code_page)
    (out_dir / "_ForceCodepage.idt").write_bytes(f"\r\n\r\n{code_page}\t_ForceCodepage\r\n".encode())
    for folder in sorted(p for p in tables_dir.iterdir() if p.is_dir()):
        shutil.copytree(folder, out_dir / folder.name, dirs_exist_ok=True)
    unused = sorted(set(texts) - used)
    if unused:
        raise TemplateError(f"{texts_file}: texts no table uses: {', '.join(unused)}")


def main(argv):
    if len(argv) != 4:
        sys.exit(__doc__)
    try:
        generate(pathlib.Path(argv[1]), pathlib.Path(argv[2]), pathlib.Path(argv[3]))
    except (TemplateError, OSError) as error:
        sys.exit(f"generate.py: {error}")


if __name__ == "__main__":
    main(sys.argv)
