"""kitbinder-cli validate against packages broken for one rule each with msibuild (an
independent writer), starting from our own template, which must pass clean; and against
packages made by wixl, which must not crash it.

Usage: validator_test.py KITBINDER_CLI BIN_DIR
"""
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "test_support"))
import needs  # noqa: E402

CLI, BIN_DIR = sys.argv[1], sys.argv[2]
needs.require("msibuild", "msiinfo", "wixl")

GUID1 = "{11111111-1111-1111-1111-111111111111}"
GUID2 = "{22222222-2222-2222-2222-222222222222}"
GUID3 = "{33333333-3333-3333-3333-333333333333}"

# A component with a versioned program as its key path, in the main feature: nothing to report.
GOOD = [
    "INSERT INTO `Component` (`Component`, `ComponentId`, `Directory_`, `Attributes`, `KeyPath`)"
    f" VALUES ('C1', '{GUID1}', 'TARGETDIR', 0, 'F1')",
    "INSERT INTO `File` (`File`, `Component_`, `FileName`, `FileSize`, `Version`, `Attributes`,"
    " `Sequence`) VALUES ('F1', 'C1', 'app.exe', 10, '1.0.0.0', 512, 1)",
    "INSERT INTO `FeatureComponents` (`Feature_`, `Component_`) VALUES ('_MainFeature', 'C1')",
]


def component(name, guid, directory="TARGETDIR", attributes=0, key_path=None, feature=True):
    # msibuild takes no NULL literal: a null field is a column left out.
    key_column, key = ("", "") if key_path is None else (", `KeyPath`", f", '{key_path}'")
    rows = [f"INSERT INTO `Component` (`Component`, `ComponentId`, `Directory_`, `Attributes`"
            f"{key_column}) VALUES ('{name}', '{guid}', '{directory}', {attributes}{key})"]
    if feature:
        rows.append("INSERT INTO `FeatureComponents` (`Feature_`, `Component_`)"
                    f" VALUES ('_MainFeature', '{name}')")
    return rows


def file(name, component_name, file_name, version="1.0"):
    version_column, value = ("", "") if version is None else (", `Version`", f", '{version}'")
    return [f"INSERT INTO `File` (`File`, `Component_`, `FileName`, `FileSize`, `Attributes`,"
            f" `Sequence`{version_column}) VALUES ('{name}', '{component_name}', '{file_name}', 1,"
            f" 512, 2{value})"]


def directory(name, parent, default_dir):
    return [f"INSERT INTO `Directory` (`Directory`, `Directory_Parent`, `DefaultDir`)"
            f" VALUES ('{name}', '{parent}', '{default_dir}')"]


def shortcut(name, directory_name, component_name, target):
    return [f"INSERT INTO `Shortcut` (`Shortcut`, `Directory_`, `Name`, `Component_`, `Target`)"
            f" VALUES ('{name}', '{directory_name}', 'App', '{component_name}', '{target}')"]


REGISTRY = ("CREATE TABLE `Registry` (`Registry` CHAR(72) NOT NULL, `Root` SHORT NOT NULL,"
            " `Key` CHAR(255) NOT NULL LOCALIZABLE, `Name` CHAR(255) LOCALIZABLE,"
            " `Value` CHAR(0) LOCALIZABLE, `Component_` CHAR(72) NOT NULL PRIMARY KEY `Registry`)")
REMOVE_FILE = ("CREATE TABLE `RemoveFile` (`FileKey` CHAR(72) NOT NULL, `Component_` CHAR(72)"
               " NOT NULL, `FileName` CHAR(255) LOCALIZABLE, `DirProperty` CHAR(72) NOT NULL,"
               " `InstallMode` SHORT NOT NULL PRIMARY KEY `FileKey`)")
VALIDATION = ("CREATE TABLE `_Validation` (`Table` CHAR(32) NOT NULL, `Column` CHAR(32) NOT NULL,"
              " `Nullable` CHAR(4) NOT NULL, `MinValue` LONG, `MaxValue` LONG, `KeyTable` CHAR(255),"
              " `KeyColumn` SHORT, `Category` CHAR(32), `Set` CHAR(255), `Description` CHAR(255)"
              " PRIMARY KEY `Table`, `Column`)")

# Each case: its name, the statements that break the package, and the rules expected to
# report (each "rule Table", with "!" for an error), no more and no fewer.
CASES = [
    ("duplicate component code", component("C2", GUID1, key_path="F2") + file("F2", "C2", "b.exe"),
     {"!ICE08 Component"}),
    ("component in no feature",
     component("C2", GUID2, key_path="F2", feature=False) + file("F2", "C2", "b.exe"),
     {"!ICE21 Component"}),
    ("no key path and no CreateFolder", component("C2", GUID2), {"!ICE18 Component"}),
    ("key path of another component", component("C2", GUID2, key_path="F1"), {"!ICE02 Component"}),
    ("two files at one place",
     component("C2", GUID2, key_path="F2") + file("F2", "C2", "APP~1.EXE|App.exe"),
     {"!ICE30 File"}),
    ("system folder, not permanent",
     directory("SystemFolder", "TARGETDIR", ".") +
     component("C2", GUID2, "SystemFolder", key_path="F2") + file("F2", "C2", "b.dll"),
     {"ICE09 Component"}),
    ("file in the profile of a per-machine package",
     directory("D2", "ProgramMenuFolder", "d2") + [REMOVE_FILE, "INSERT INTO `RemoveFile` (`FileKey`, `Component_`,"
                                                   " `DirProperty`, `InstallMode`) VALUES ('R', 'C2', 'D2', 2)"] +
     component("C2", GUID2, "D2", key_path="F2") + file("F2", "C2", "b.txt", version=None),
     {"!ICE38 Component", "ICE91 File"}),
    ("non-advertised shortcut with a file key path",
     shortcut("S1", "ProgramMenuFolder", "C1", "[#F1]"), {"!ICE43 Shortcut"}),
    ("per-user and per-machine data in one component",
     [REGISTRY, "INSERT INTO `Registry` (`Registry`, `Root`, `Key`, `Component_`)"
                " VALUES ('R1', 1, 'Software\\App', 'C1')"],
     {"!ICE57 Component"}),
    ("profile folder never removed", directory("D3", "ProgramMenuFolder", "d3"), {"!ICE64 Directory"}),
    ("lower-case action property",
     ["INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMin`, `Attributes`, `ActionProperty`)"
      f" VALUES ('{GUID3}', '1.0', 256, 'oldversion')"],
     {"!ICE61 Upgrade"}),
    ("RemoveExistingProducts inside the install",
     ["UPDATE `InstallExecuteSequence` SET `Sequence` = 1700"
      " WHERE `Action` = 'RemoveExistingProducts'"],
     {"!ICE63 InstallExecuteSequence"}),
    ("64-bit component in a 32-bit package",
     ["UPDATE `Component` SET `Attributes` = 256 WHERE `Component` = 'C1'"], {"!ICE80 Component"}),
    ("advertised shortcut outside its feature",
     component("C2", GUID2, key_path="F2", feature=False) + file("F2", "C2", "b.exe") +
     shortcut("S1", "TARGETDIR", "C2", "_MainFeature"),
     {"!ICE21 Component", "!ICE59 Shortcut"}),
    ("data against _Validation",
     [VALIDATION, "INSERT INTO `_Validation` (`Table`, `Column`, `Nullable`, `Category`)"
                  " VALUES ('Component', 'ComponentId', 'Y', 'Guid')",
      "UPDATE `Component` SET `ComponentId` = '{not-a-guid}' WHERE `Component` = 'C1'"],
     {"!ICE03 Component"}),
    ("library without a version",
     component("C2", GUID2, key_path="F2") + file("F2", "C2", "b.dll", version=None),
     {"file-version File"}),
    ("file of an unknown component", file("F2", "Nowhere", "b.txt"), {"!foreign-key File"}),
]


def sql(package, statements):
    """Runs `statements` on `package`; a CREATE TABLE of a table the package has is skipped."""
    tables = subprocess.run(["msiinfo", "tables", package], check=True, capture_output=True,
                            text=True).stdout.split()
    for statement in statements:
        if statement.startswith("CREATE TABLE") and statement.split("`")[1] in tables:
            continue
        subprocess.run(["msibuild", package, "-q", statement], check=True)


def validate(package):
    run = subprocess.run([CLI, "validate", package], capture_output=True, text=True)
    if run.returncode not in (0, 1) or "Sanitizer" in run.stderr:
        raise SystemExit(f"validate {package} failed (exit {run.returncode}):\n{run.stderr}")
    found = set()
    for line in run.stdout.splitlines()[:-1]:
        severity, rule, where = line.split(":", 1)[0].split(" ")
        found.add(("!" if severity == "error" else "") + rule + " " + where.split(".")[0])
    if (run.returncode == 1) != any(f.startswith("!") for f in found):
        raise SystemExit(f"validate {package}: exit {run.returncode} for {sorted(found)}")
    return found, run.stdout


def wixl_package(scratch):
    source = os.path.join(scratch, "peer.wxs")
    with open(source, "w") as wxs:
        wxs.write("""<?xml version="1.0"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="Peer" Language="1033" Version="1.0.0" Manufacturer="Peer"
           UpgradeCode="{44444444-4444-4444-4444-444444444444}">
    <Package InstallerVersion="200" Compressed="yes"/>
    <Media Id="1" Cabinet="p.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder"><Directory Id="INSTALLDIR" Name="Peer">
        <Component Id="Main" Guid="{55555555-5555-5555-5555-555555555555}">
          <File Id="readme" Source="peer.wxs" KeyPath="yes"/>
        </Component>
      </Directory></Directory>
    </Directory>
    <Feature Id="All" Level="1"><ComponentRef Id="Main"/></Feature>
  </Product>
</Wix>
""")
    package = os.path.join(scratch, "peer.msi")
    subprocess.run(["wixl", "-o", package, source], check=True, cwd=scratch)
    return package


def main():
    failures = []
    with tempfile.TemporaryDirectory() as scratch:
        for language in ("en", "fr", "es"):
            found, output = validate(os.path.join(BIN_DIR, f"template-{language}.msi"))
            if found:
                failures.append(f"template-{language}.msi: {output}")
        good = os.path.join(scratch, "good.msi")
        shutil.copy(os.path.join(BIN_DIR, "template-en.msi"), good)
        sql(good, GOOD)
        found, output = validate(good)
        if found:
            failures.append(f"the good package: {output}")
        for name, statements, expected in CASES:
            package = os.path.join(scratch, name.replace(" ", "-") + ".msi")
            shutil.copy(good, package)
            sql(package, statements)
            found, output = validate(package)
            if found != expected:
                failures.append(f"{name}: expected {sorted(expected)}, found:\n{output}")
        validate(wixl_package(scratch))
    for failure in failures:
        print(failure)
    print(f"{len(CASES)} broken packages, {len(failures)} wrong")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
