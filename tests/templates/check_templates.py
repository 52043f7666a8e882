#!/usr/bin/python3
"""Checks the installer templates as an exporter reads them back.

    check_templates.py TOOL TEMPLATE.msi...

TOOL is a program that answers `TOOL tables DATABASE` with one table name a line and
`TOOL export DATABASE TABLE` with the table in the installer's text archive format
(msiinfo and kitbinder-cli both do). Every template is checked on its own: the rows the
package build relies on, the dialogs' controls, chains and events, and every property
the user interface names. Then the templates are compared: the same tables and keys,
differing only in localizable columns. Exits 1 and lists every problem found.
"""

import pathlib
import re
import shlex
import subprocess
import sys
import tempfile

sys.path.insert(0, str(pathlib.Path(__file__).parent / ".." / "test_support"))
import needs  # noqa: E402

# Rows the package build updates or refers to, and the columns its statements name.
BUILD_COLUMNS = {
    "Property": ["Property", "Value"],
    "Directory": ["Directory", "Directory_Parent", "DefaultDir"],
    "Registry": ["Registry", "Root", "Key", "Name", "Value", "Component_"],
    "RemoveFile": ["FileKey", "Component_", "FileName", "DirProperty", "InstallMode"],
    "CustomAction": ["Action", "Target"],
    "Component": ["Component", "ComponentId", "Directory_", "Attributes", "Condition", "KeyPath"],
    "Environment": ["Environment", "Name", "Value", "Component_"],
    "File": ["File", "Component_", "FileName", "FileSize", "Version", "Language",
             "Attributes", "Sequence"],
    "FeatureComponents": ["Feature_", "Component_"],
    "Shortcut": ["Shortcut", "Directory_", "Name", "Component_", "Target", "Icon_",
                 "IconIndex", "ShowCmd", "WkDir"],
    "Icon": ["Name", "Data"],
    "Control": ["Control", "Text"],
    "Binary": ["Name", "Data"],
    "InstallUISequence": ["Action", "Condition", "Sequence"],
}
BUILD_PROPERTIES = ["TargetDirName", "ProductName", "ProductVersion", "ProductCode",
                    "UpgradeCode", "Manufacturer", "SupportURL", "WelcomeForm_NextArgs",
                    "FolderForm_PrevArgs"]
# A cabinet counts its files in 16 bits; the media row must cover all of them.
MAX_CABINET_FILES = 65535
LANGUAGES = {"en": "1033", "fr": "1036", "es": "3082"}

# Properties the installer sets itself that a user interface may show or bind to.
INSTALLER_PROPERTIES = {
    "ProgramFilesFolder", "ProgramMenuFolder", "CommonFilesFolder", "WindowsFolder",
    "SystemFolder", "TempFolder", "DesktopFolder", "StartMenuFolder", "ROOTDRIVE",
    "SourceDir", "Installed", "ACTION", "REMOVE", "OutOfDiskSpace", "OutOfNoRbDiskSpace",
    "FileInUseProcess", "Preselected", "RESUME", "PrimaryVolumePath", "LocalAppDataFolder",
    "ProgramFiles64Folder",
}
STANDARD_ACTIONS = {
    "AppSearch", "LaunchConditions", "FindRelatedProducts", "ValidateProductID",
    "CostInitialize", "FileCost", "CostFinalize", "MigrateFeatureStates", "ExecuteAction",
    "InstallValidate", "InstallInitialize", "ProcessComponents", "UnpublishFeatures",
    "RemoveShortcuts", "RemoveFiles", "RemoveFolders", "CreateFolders", "InstallFiles",
    "InstallAdminPackage", "CreateShortcuts", "RegisterUser", "RegisterProduct",
    "PublishFeatures", "PublishProduct", "InstallFinalize", "InstallExecute",
    "RemoveExistingProducts", "ScheduleReboot", "ForceReboot", "WriteRegistryValues",
    "RemoveRegistryValues", "WriteEnvironmentStrings", "RemoveEnvironmentStrings",
}
DIALOG_EVENTS = ("NewDialog", "SpawnDialog", "SpawnWaitDialog")
ERROR_BUTTON_EVENTS = {"ErrorAbort", "ErrorCancel", "ErrorIgnore", "ErrorNo", "ErrorOk",
                       "ErrorRetry", "ErrorYes"}
DIALOG_ATTRIBUTE_ERROR = 0x10000
BRACKETED = re.compile(r"\[([^\[\]]+)\]")
STYLE_REFERENCE = re.compile(r"\{[\\&]([^}]+)\}")
DIRECTORY_CONTROLS = {"PathEdit", "DirectoryCombo", "DirectoryList"}
# Upgrade attributes: migrate feature states, detect only, and the inclusive bounds.
MIGRATE_FEATURES, ONLY_DETECT, MIN_INCLUSIVE, MAX_INCLUSIVE = 0x1, 0x2, 0x100, 0x200
DOWNGRADE_TEXTS = {
    "en": "A newer version of [ProductName] is already installed.",
    "fr": "Une version plus récente de [ProductName] est déjà installée.",
    "es": "Ya hay instalada una versión más reciente de [ProductName].",
}
# The folder dialog's install-scope choice, per language: (for all users, only for me).
SCOPE_TEXTS = {
    "en": ("Install for &all users of this computer", "Install only for &me"),
    "fr": ("Installer pour &tous les utilisateurs de cet ordinateur",
           "Installer uniquement pour &moi"),
    "es": ("Instalar para &todos los usuarios de este equipo", "Instalar s&olo para mí"),
}
LAUNCH_TEXTS = {"en": "Launch [ProductName]", "fr": "Lancer [ProductName]",
                "es": "Iniciar [ProductName]"}


class Table:
    """One exported table: column names and types, key columns, rows as dicts."""

    def __init__(self, name, text):
        lines = text.split("\r\n") if "\r\n" in text else text.split("\n")
        while lines and lines[-1] == "":
            lines.pop()
        self.name = name
        self.columns = lines[0].split("\t")
        self.types = lines[1].split("\t")
        header = lines[2].split("\t")
        if header[0].isdigit():
            header = header[1:]
        self.keys = header[1:]
        self.rows = []
        self.malformed = []
        for line in lines[3:]:
            fields = line.split("\t")
            if len(fields) != len(self.columns):
                self.malformed.append(line)
                continue
            self.rows.append(dict(zip(self.columns, fields)))

    def key_of(self, row):
        return tuple(row[k] for k in self.keys)

    def find(self, **values):
        return [r for r in self.rows if all(r[k] == v for k, v in values.items())]

    def localizable(self, column):
        return self.types[self.columns.index(column)][0] in "lL"


def decode(data):
    """Archive text is in the code page its third line names. Without one it is ASCII,
    UTF-8 (msiinfo converts table text) or, for summary information, which both readers
    print as stored, the templates' code page 1252."""
    lines = data.split(b"\n", 3)
    if len(lines) > 2 and lines[2].split(b"\t")[0].strip().isdigit():
        return data.decode("cp" + lines[2].split(b"\t")[0].strip().decode())
    try:
        return data.decode("utf-8")
    except UnicodeDecodeError:
        return data.decode("cp1252")


class Template:
    def __init__(self, tool, path):
        self.path = path
        self.problems = []
        self.tool = tool
        self.table_names = sorted(self.run("tables", str(path)).decode().split())
        self.tables = {}
        for name in self.table_names:
            if name.startswith("_"):
                continue
            self.tables[name] = Table(name, decode(self.run("export", str(path), name)))
        self.summary = Table("_SummaryInformation",
                             decode(self.run("export", str(path), "_SummaryInformation")))

    def run(self, *args):
        # msiinfo writes a binary table's streams into the current folder: give it one.
        with tempfile.TemporaryDirectory() as scratch:
            result = subprocess.run(self.tool + list(args), capture_output=True, cwd=scratch)
        if result.returncode != 0:
            sys.exit(f"{' '.join(self.tool + list(args))} failed: {result.stderr.decode()}")
        return result.stdout

    def fail(self, message):
        self.problems.append(f"{self.path.name}: {message}")

    def table(self, name):
        return self.tables.get(name) or Table(name, "\n\n\n")

    def property(self, name):
        rows = self.table("Property").find(Property=name)
        return rows[0]["Value"] if rows else None


def check_build_rows(t):
    for name, columns in BUILD_COLUMNS.items():
        if name not in t.tables:
            t.fail(f"table {name} is missing")
            continue
        for column in columns:
            if column not in t.tables[name].columns:
                t.fail(f"{name} has no column {column}")
    for name in BUILD_PROPERTIES:
        if t.property(name) is None:
            t.fail(f"property {name} is missing")
    for directory in ("TARGETDIR", "ProgramMenuFolder", "DesktopFolder"):
        if not t.table("Directory").find(Directory=directory):
            t.fail(f"directory {directory} is missing")
    if not t.table("CustomAction").find(Action="SetTargetDir"):
        t.fail("custom action SetTargetDir is missing")
    for action in ("WriteRegistryValues", "RemoveRegistryValues", "WriteEnvironmentStrings",
                   "RemoveEnvironmentStrings"):
        if not t.table("InstallExecuteSequence").find(Action=action):
            t.fail(f"InstallExecuteSequence does not run {action}")
    if not t.table("Feature").find(Feature="_MainFeature"):
        t.fail("feature _MainFeature is missing")
    if not t.table("Control").find(Control="EulaForm_LicenseText"):
        t.fail("control EulaForm_LicenseText is missing")
    if not t.table("Binary").find(Name="BannerBitmap"):
        t.fail("binary BannerBitmap is missing")
    welcome = t.table("InstallUISequence").find(Action="WelcomeForm")
    if not welcome or int(welcome[0]["Sequence"]) <= 0:
        t.fail("InstallUISequence does not run WelcomeForm")
    media = t.table("Media").find(Cabinet="#Instal01.cab")
    if len(media) != 1 or int(media[0]["LastSequence"]) < MAX_CABINET_FILES:
        t.fail(f"no single media row for #Instal01.cab covering {MAX_CABINET_FILES} files")


def sequence_numbers(t, table):
    return {r["Action"]: int(r["Sequence"]) for r in t.table(table).rows}


def in_order(t, table, *actions):
    numbers = sequence_numbers(t, table)
    found = [numbers.get(a) for a in actions]
    if None in found or found != sorted(found) or len(set(found)) != len(found):
        t.fail(f"{table} does not run {' < '.join(actions)} in that order")


def upgrade_row(t, action_property):
    rows = t.table("Upgrade").find(ActionProperty=action_property)
    if len(rows) != 1:
        t.fail(f"no single Upgrade row sets {action_property}")
        return None
    if rows[0]["UpgradeCode"] != t.property("UpgradeCode"):
        t.fail(f"the Upgrade row for {action_property} is not for the product's upgrade code")
    return rows[0]


def check_upgrade(t, language):
    """A major upgrade: older and equal versions found and removed before the new files go in,
    newer ones only detected, and the install refused by a launch condition before anything
    changes."""
    if "Upgrade" not in t.tables:
        t.fail("table Upgrade is missing")
        return
    version = t.property("ProductVersion")
    older = upgrade_row(t, "PREVIOUSVERSIONSINSTALLED")
    if older and (older["VersionMax"] != version or int(older["Attributes"]) !=
                  MIGRATE_FEATURES | MIN_INCLUSIVE | MAX_INCLUSIVE):
        t.fail("the Upgrade row for older versions does not remove up to this version")
    newer = upgrade_row(t, "NEWERVERSIONDETECTED")
    if newer and (newer["VersionMin"] != version or newer["VersionMax"] or
                  int(newer["Attributes"]) != ONLY_DETECT):
        t.fail("the Upgrade row for newer versions does not only detect above this version")
    secure = (t.property("SecureCustomProperties") or "").split(";")
    for name in ("PREVIOUSVERSIONSINSTALLED", "NEWERVERSIONDETECTED"):
        if name not in secure:
            t.fail(f"SecureCustomProperties does not list {name}")
    guards = t.table("LaunchCondition").find(Condition="NOT NEWERVERSIONDETECTED")
    if len(guards) != 1 or guards[0]["Description"] != DOWNGRADE_TEXTS[language]:
        t.fail(f"no launch condition says {DOWNGRADE_TEXTS[language]!r} over a newer version")
    for table in ("InstallUISequence", "InstallExecuteSequence"):
        in_order(t, table, "AppSearch", "FindRelatedProducts", "LaunchConditions", "CostFinalize",
                 "MigrateFeatureStates")
    in_order(t, "InstallUISequence", "MigrateFeatureStates", "ExecuteAction")
    in_order(t, "InstallExecuteSequence", "MigrateFeatureStates", "InstallValidate",
             "RemoveExistingProducts", "InstallInitialize")


def check_scope_choice(t, language):
    """A dual-purpose package (the build sets OfferInstallScope 1) shows a choice in the folder
    dialog that sets MSIINSTALLPERUSER; every other package hides it."""
    group = controls_of(t, "FolderForm").get("ScopeChoice")
    if not group or group["Type"] != "RadioButtonGroup" or group["Property"] != "InstallScopeChoice":
        t.fail("FolderForm has no ScopeChoice radio group bound to InstallScopeChoice")
        return
    if int(group["Attributes"]) & 1 or t.property("OfferInstallScope") != "0":
        t.fail("FolderForm's scope choice is not hidden unless the build offers it")
    shows = t.table("ControlCondition").find(Dialog_="FolderForm", Control_="ScopeChoice")
    if [(r["Action"], r["Condition"]) for r in shows] != [("Show", 'OfferInstallScope = "1"')]:
        t.fail("FolderForm's scope choice is not shown when the build offers it")
    texts = {r["Value"]: r["Text"] for r in t.table("RadioButton").find(Property="InstallScopeChoice")}
    if (texts.get("machine"), texts.get("user")) != SCOPE_TEXTS[language]:
        t.fail(f"the scope choice reads {texts}, expected {SCOPE_TEXTS[language]}")
    sets = {(r["Argument"], r["Condition"]) for r in t.table("ControlEvent").find(
        Dialog_="FolderForm", Control_="Next", Event="[MSIINSTALLPERUSER]")}
    if sets != {("1", 'OfferInstallScope = "1" AND InstallScopeChoice = "user"'),
                ("{}", 'OfferInstallScope = "1" AND InstallScopeChoice = "machine"')}:
        t.fail(f"FolderForm's Next does not set MSIINSTALLPERUSER from the choice: {sets}")


def check_launch_box(t, language):
    """The finish dialog's box that starts the product's program: hidden and ticked (its
    property set) until a build that starts a program shows it."""
    box = controls_of(t, "FinishedForm").get("LaunchCheck")
    if not box or box["Type"] != "CheckBox" or box["Property"] != "LaunchOnExit":
        t.fail("FinishedForm has no LaunchCheck check box bound to LaunchOnExit")
        return
    if int(box["Attributes"]) & 1 or t.property("LaunchOnExit") != "1":
        t.fail("FinishedForm's LaunchCheck is not hidden and ticked")
    if box["Text"] != LAUNCH_TEXTS[language]:
        t.fail(f"FinishedForm's LaunchCheck reads {box['Text']!r}, expected "
               f"{LAUNCH_TEXTS[language]!r}")
    if t.table("ControlCondition").find(Dialog_="FinishedForm", Control_="LaunchCheck"):
        t.fail("FinishedForm's LaunchCheck is shown by the template itself")


def check_summary(t, language):
    values = {r["PropertyId"]: r["Value"] for r in t.summary.rows}
    expected_language = LANGUAGES.get(language)
    if values.get("1") != "1252":
        t.fail("summary code page is not 1252")
    if values.get("7") != f"Intel;{expected_language}":
        t.fail(f"summary template is {values.get('7')}, expected Intel;{expected_language}")
    if t.property("ProductLanguage") != expected_language:
        t.fail(f"ProductLanguage is {t.property('ProductLanguage')}")
    if not values.get("2") or not values.get("3"):
        t.fail("summary title or subject is empty")
    if int(values.get("14", "0")) < 200:
        t.fail("summary page count is below 200")
    if not int(values.get("15", "0")) & 2:
        t.fail("summary word count does not mark compressed files")
    if values.get("18") != "kitbinder":
        t.fail("summary creating application is not kitbinder")
    if not re.fullmatch(r"\{[0-9A-F-]{36}\}", values.get("9", "")):
        t.fail("summary package code is not a braced GUID")


def controls_of(t, dialog):
    return {r["Control"]: r for r in t.table("Control").find(Dialog_=dialog)}


def check_dialog_controls(t):
    for dialog in t.table("Dialog").rows:
        name = dialog["Dialog"]
        controls = controls_of(t, name)
        for column in ("Control_First", "Control_Default", "Control_Cancel"):
            if dialog[column] and dialog[column] not in controls:
                t.fail(f"{name}.{column} names missing control {dialog[column]}")
        for control in controls.values():
            if (int(control["X"]) + int(control["Width"]) > int(dialog["Width"])
                    or int(control["Y"]) + int(control["Height"]) > int(dialog["Height"])):
                t.fail(f"{name}.{control['Control']} lies outside its dialog")
        check_chain(t, dialog, controls)


def check_chain(t, dialog, controls):
    """Every tab chain stays in its dialog and leads back to where it started."""
    name = dialog["Dialog"]
    for start, control in controls.items():
        if control["Control_Next"] and not chain_closes(t, name, start, controls):
            break
    first = controls.get(dialog["Control_First"])
    is_error = int(dialog["Attributes"] or 0) & DIALOG_ATTRIBUTE_ERROR
    if first and not first["Control_Next"] and not is_error:
        t.fail(f"{name}: the first control {first['Control']} is in no chain")


def chain_closes(t, name, start, controls):
    seen = {start}
    current = controls[start]["Control_Next"]
    while current != start:
        if current not in controls:
            t.fail(f"{name}: the chain from {start} leaves the dialog at {current}")
            return False
        if current in seen:
            t.fail(f"{name}: the chain from {start} never returns to it")
            return False
        seen.add(current)
        current = controls[current]["Control_Next"]
    return True


def resolve(t, text):
    """Fills [Property] references from the Property table, as the installer would."""
    return BRACKETED.sub(lambda m: t.property(m.group(1)) or "", text)


def check_events(t):
    dialogs = {r["Dialog"] for r in t.table("Dialog").rows}
    controls = {(r["Dialog_"], r["Control"]) for r in t.table("Control").rows}
    for table in ("ControlEvent", "ControlCondition", "EventMapping"):
        for row in t.table(table).rows:
            if (row["Dialog_"], row["Control_"]) not in controls:
                t.fail(f"{table} names missing control {row['Dialog_']}.{row['Control_']}")
    for row in t.table("ControlEvent").rows:
        if row["Event"] in DIALOG_EVENTS and resolve(t, row["Argument"]) not in dialogs:
            t.fail(f"{row['Dialog_']}.{row['Control_']}: {row['Event']} to missing dialog "
                   f"{row['Argument']} ({resolve(t, row['Argument'])})")
    actions = STANDARD_ACTIONS | dialogs | {r["Action"] for r in t.table("CustomAction").rows}
    for table in ("InstallUISequence", "InstallExecuteSequence", "AdminUISequence",
                  "AdminExecuteSequence", "AdvtExecuteSequence"):
        for row in t.table(table).rows:
            if row["Action"] not in actions:
                t.fail(f"{table} runs unknown action {row['Action']}")
    for table in ("InstallUISequence", "AdminUISequence"):
        ends = {r["Sequence"]: r["Action"] for r in t.table(table).rows}
        for number in ("-1", "-2", "-3"):
            if ends.get(number) not in dialogs:
                t.fail(f"{table} has no dialog at sequence {number}")


def defined_properties(t):
    known = {r["Property"] for r in t.table("Property").rows}
    known |= {r["Directory"] for r in t.table("Directory").rows}
    known |= {r["Source"] for r in t.table("CustomAction").rows
              if int(r["Type"]) & 0x3F == 51}
    known |= {r["Property"] for r in t.table("AppSearch").rows}
    known |= {r["Event"][1:-1] for r in t.table("ControlEvent").rows
              if r["Event"].startswith("[")}
    return known | INSTALLER_PROPERTIES


def bracketed_properties(text):
    for name in BRACKETED.findall(text):
        # Numbered fields, file and component keys, environment variables and escapes
        # are not properties.
        if not name[0].isdigit() and name[0] not in "#$!%~\\":
            yield name


def check_properties(t):
    known = defined_properties(t)
    texts = []
    for control in t.table("Control").rows:
        if control["Type"] != "ScrollableText":
            texts.append((f"{control['Dialog_']}.{control['Control']}", control["Text"]))
        bound = control["Property"]
        if bound and bound not in known:
            t.fail(f"{control['Dialog_']}.{control['Control']} binds undefined {bound}")
        if control["Type"] in DIRECTORY_CONTROLS and bound not in {
                r["Directory"] for r in t.table("Directory").rows}:
            t.fail(f"{control['Dialog_']}.{control['Control']} binds no directory")
    texts += [(f"Dialog {r['Dialog']}", r["Title"]) for r in t.table("Dialog").rows]
    texts += [(f"{r['Dialog_']}.{r['Control_']} {r['Event']}", r["Event"] + r["Argument"])
              for r in t.table("ControlEvent").rows]
    texts += [(f"RadioButton {r['Property']}", r["Text"]) for r in t.table("RadioButton").rows]
    texts += [(f"CustomAction {r['Action']}", r["Target"]) for r in t.table("CustomAction").rows]
    for where, text in texts:
        for name in bracketed_properties(text):
            if name not in known:
                t.fail(f"{where} names undefined property [{name}]")


def check_styles(t):
    styles = {r["TextStyle"] for r in t.table("TextStyle").rows}
    if t.property("DefaultUIFont") not in styles:
        t.fail("DefaultUIFont names no text style")
    for control in t.table("Control").rows:
        if control["Type"] == "ScrollableText":
            continue
        for style in STYLE_REFERENCE.findall(control["Text"]):
            if style not in styles:
                t.fail(f"{control['Dialog_']}.{control['Control']} uses missing style {style}")


def check_control_data(t):
    binaries = {r["Name"] for r in t.table("Binary").rows}
    radio = t.table("RadioButton")
    for control in t.table("Control").rows:
        where = f"{control['Dialog_']}.{control['Control']}"
        if control["Type"] == "Bitmap" and control["Text"] not in binaries:
            t.fail(f"{where} shows missing binary {control['Text']}")
        if control["Type"] == "RadioButtonGroup":
            buttons = radio.find(Property=control["Property"])
            if t.property(control["Property"]) not in {b["Value"] for b in buttons}:
                t.fail(f"{where}: {control['Property']} starts on no button's value")
            for b in buttons:
                if (int(b["X"]) + int(b["Width"]) > int(control["Width"])
                        or int(b["Y"]) + int(b["Height"]) > int(control["Height"])):
                    t.fail(f"{where}: button {b['Value']} lies outside its group")


def check_error_dialog(t):
    name = t.property("ErrorDialog")
    dialog = t.table("Dialog").find(Dialog=name)
    if not dialog or not int(dialog[0]["Attributes"]) & DIALOG_ATTRIBUTE_ERROR:
        t.fail(f"ErrorDialog {name} is no error dialog")
        return
    if "ErrorText" not in controls_of(t, name):
        t.fail(f"error dialog {name} has no ErrorText control")
    ends = {r["Argument"] for r in t.table("ControlEvent").find(Dialog_=name, Event="EndDialog")}
    if ends != ERROR_BUTTON_EVENTS:
        t.fail(f"error dialog {name} ends with {sorted(ends)}")


def compare(templates):
    first = templates[0]
    for other in templates[1:]:
        if other.table_names != first.table_names:
            other.fail(f"tables differ from {first.path.name}")
            continue
        for name, table in first.tables.items():
            compare_table(table, other.tables[name], other)


def compare_table(mine, theirs, t):
    if (mine.columns, mine.types, mine.keys) != (theirs.columns, theirs.types, theirs.keys):
        t.fail(f"{mine.name} has other columns or keys")
        return
    mine_rows = {mine.key_of(r): r for r in mine.rows}
    their_rows = {theirs.key_of(r): r for r in theirs.rows}
    if mine_rows.keys() != their_rows.keys():
        t.fail(f"{mine.name} has other keys: {sorted(mine_rows.keys() ^ their_rows.keys())}")
        return
    for key, row in mine_rows.items():
        for column in mine.columns:
            if not mine.localizable(column) and row[column] != their_rows[key][column]:
                t.fail(f"{mine.name} {key}: {column} differs and is not a text")


def check(template, language):
    for table in template.tables.values():
        for line in table.malformed:
            template.fail(f"{table.name} has a malformed row: {line!r}")
        for row in table.rows:
            if any("$(" in value for value in row.values()):
                template.fail(f"{table.name} {table.key_of(row)} holds an unfilled text")
    check_build_rows(template)
    check_summary(template, language)
    check_upgrade(template, language)
    check_scope_choice(template, language)
    check_launch_box(template, language)
    check_dialog_controls(template)
    check_events(template)
    check_properties(template)
    check_styles(template)
    check_control_data(template)
    check_error_dialog(template)


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    tool = shlex.split(argv[1])
    if tool[0] in needs.PACKAGES:
        needs.require(tool[0])
    if "/" in tool[0]:
        tool[0] = str(pathlib.Path(tool[0]).resolve())
    templates = [Template(tool, pathlib.Path(p).resolve()) for p in argv[2:]]
    for template in templates:
        check(template, template.path.stem.removeprefix("template-"))
    compare(templates)
    codes = [t.summary.find(PropertyId="9") for t in templates]
    if len({c[0]["Value"] for c in codes if c}) != len(templates):
        templates[0].fail("the templates do not have distinct package codes")
    problems = [p for t in templates for p in t.problems]
    for problem in problems:
        print(problem)
    print(f"{len(templates)} templates checked with {argv[1]}: {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
