#!/usr/bin/python3
"""Checks the desktop program's desktop integration.

    check_resources.py validate RESOURCES_DIR
        the desktop entry, the AppStream metainfo and the MIME type file pass their validators
        without errors or warnings;
    check_resources.py install CMAKE BUILD_DIR
        `cmake --install BUILD_DIR` into a scratch prefix puts every file a user needs where the
        desktop and the programs look for it, and the MIME database built there gives a .kbr
        file kitbinder's type.
"""
import os
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "test_support"))
import needs  # noqa: E402

MIME_TYPE = 'application/x-kitbinder-project'
ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def run(command, **options):
    return subprocess.run(command, capture_output=True, text=True, **options)


def quiet_success(command, **options):
    """A problem text when the command fails or prints anything, else None."""
    result = run(command, **options)
    output = (result.stdout + result.stderr).strip()
    if result.returncode != 0 or output:
        return '%s: exit %d\n%s' % (' '.join(command), result.returncode, output)
    return None


def validate(resources):
    problems = [
        quiet_success(['desktop-file-validate', os.path.join(resources, 'kitbinder.desktop')]),
        quiet_success(['xmllint', '--noout', os.path.join(resources, 'kitbinder-mime.xml')]),
    ]
    # appstreamcli always prints a verdict; --strict fails on warnings and infos as well.
    metainfo = os.path.join(resources, 'org.kitbinder.kitbinder.metainfo.xml')
    result = run(['appstreamcli', 'validate', '--no-net', '--strict', metainfo])
    if result.returncode != 0:
        problems.append('appstreamcli validate: exit %d\n%s' % (result.returncode, result.stdout))
    return [p for p in problems if p]


def png_size(path):
    with open(path, 'rb') as image:
        header = image.read(24)
    if header[:8] != b'\x89PNG\r\n\x1a\n':
        return None
    return struct.unpack('>II', header[16:24])


def expected_files():
    """Installed path -> required square size for PNG icons, None for other files."""
    files = {'bin/kitbinder': None, 'bin/kitbinder-cli': None,
             'share/kitbinder/kitbinder.html': None,
             'share/applications/kitbinder.desktop': None,
             'share/mime/packages/kitbinder.xml': None,
             'share/metainfo/org.kitbinder.kitbinder.metainfo.xml': None}
    for language in ('en', 'fr', 'es'):
        files['share/kitbinder/template-%s.msi' % language] = None
    hicolor = 'share/icons/hicolor/'
    for size in ICON_SIZES:
        folder = '%s%dx%d/' % (hicolor, size, size)
        files[folder + 'apps/kitbinder.png'] = size
        files[folder + 'mimetypes/kitbinder-project.png'] = size
        files[folder + 'mimetypes/application-x-kitbinder-project.png'] = size
    files[hicolor + 'scalable/apps/kitbinder.svg'] = None
    files[hicolor + 'scalable/mimetypes/kitbinder-project.svg'] = None
    files[hicolor + 'scalable/mimetypes/application-x-kitbinder-project.svg'] = None
    return files


def check_installed_files(prefix):
    problems = []
    for name, size in expected_files().items():
        path = os.path.join(prefix, name)
        if not os.path.isfile(path):
            problems.append('not installed: ' + name)
        elif name.startswith('bin/') and not os.access(path, os.X_OK):
            problems.append('not executable: ' + name)
        elif size is not None and png_size(path) != (size, size):
            problems.append('%s: %s, expected a %d x %d PNG' % (name, png_size(path), size, size))
    return problems


def check_file_type(prefix, scratch):
    """The MIME database of the prefix maps *.kbr to our type, as a desktop (GIO) sees it."""
    mime = os.path.join(prefix, 'share/mime')
    home = os.path.join(scratch, 'home')
    os.makedirs(home)
    # GIO offers a desktop entry only when its program is on the PATH.
    environment = dict(os.environ, XDG_DATA_DIRS=os.path.join(prefix, 'share'),
                       XDG_DATA_HOME=home, XDG_CONFIG_HOME=home, XDG_CONFIG_DIRS=home,
                       PATH=os.path.join(prefix, 'bin') + os.pathsep + os.environ['PATH'])
    if not os.path.isfile(os.path.join(mime, 'mime.cache')):
        return ['the installation did not refresh the MIME database in share/mime']
    # Doing it again checks that the type definition is accepted without a complaint.
    problem = quiet_success(['update-mime-database', mime], env=environment)
    if problem:
        return [problem]
    problems = []
    with open(os.path.join(mime, 'globs2'), encoding='utf-8') as globs:
        if not any(line.strip().endswith(':%s:*.kbr' % MIME_TYPE) for line in globs):
            problems.append('share/mime/globs2 does not map *.kbr to ' + MIME_TYPE)

    project = os.path.join(scratch, 'x.kbr')
    with open(project, 'w', encoding='utf-8') as out:
        out.write('[properties]\ntitle=x\n')
    result = run(['gio', 'info', '-a', 'standard::content-type', project], env=environment)
    if 'standard::content-type: ' + MIME_TYPE not in result.stdout:
        problems.append('gio gives x.kbr another type:\n' + result.stdout + result.stderr)
    result = run(['gio', 'mime', MIME_TYPE], env=environment)
    if 'kitbinder.desktop' not in result.stdout:
        problems.append('gio knows no program for %s (it needs bin/kitbinder):\n%s'
                        % (MIME_TYPE, result.stdout + result.stderr))
    return problems


def install(cmake, build_dir):
    with tempfile.TemporaryDirectory(prefix='kb-install-') as scratch:
        prefix = os.path.join(scratch, 'prefix')
        result = run([cmake, '--install', build_dir, '--prefix', prefix])
        if result.returncode != 0:
            return ['cmake --install failed:\n' + result.stdout + result.stderr]
        problems = check_installed_files(prefix) + check_file_type(prefix, scratch)
        # The metainfo, desktop entry and icons as installed, checked together.
        result = run(['appstreamcli', 'validate-tree', '--no-net', '--strict', prefix])
        if result.returncode != 0:
            problems.append('appstreamcli validate-tree: exit %d\n%s'
                            % (result.returncode, result.stdout + result.stderr))
        return problems


def main(argv):
    if len(argv) == 3 and argv[1] == 'validate':
        needs.require("desktop-file-validate", "appstreamcli", "xmllint")
        problems = validate(argv[2])
    elif len(argv) == 4 and argv[1] == 'install':
        needs.require("update-mime-database", "appstreamcli")
        problems = install(argv[2], argv[3])
    else:
        print(__doc__, file=sys.stderr)
        return 2
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
