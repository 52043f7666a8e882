#!/usr/bin/env bash
# A folder row of a large tree: kitbinder-cli build beside wixl-heat + wixl on the same tree, at
# two sizes to show that the build stays linear in the number of files and folders. Prints wall
# time, peak memory (/usr/bin/time) and package size for each.
#
#   bench/tree_vs_wixl_heat.sh [BIN_DIR] [SMALL] [LARGE]
#
# BIN_DIR holds kitbinder-cli and the templates (default: this script's folder when they are
# there, else build/release/bin). The trees are the first SMALL (default 2000) and LARGE (default
# 20000) files of /usr/share and /usr/lib in sorted order, up to 64 kB each, copied with their
# folders, names Windows cannot create or tell apart (or Windows-1252 cannot hold) left out.
set -euo pipefail

here=$(dirname "$0")
source "$here/setup_bench.sh"
setup_bench "${1:-}"
small=${2:-2000}
large=${3:-20000}

# Copies the first $2 suitable files of /usr/share and /usr/lib into the folder $1.
make_tree() {
  python3 - "$1" "$2" <<'PY'
import os, re, shutil, sys
target, wanted = sys.argv[1], int(sys.argv[2])
bad = re.compile(r'[<>:"\\|?*\x00-\x1f]|[. ]$|^(con|prn|aux|nul|com\d|lpt\d)(\..*)?$', re.I)
def fits(name):  # a name the packages' code page, Windows-1252, holds
    try:
        return bool(name.encode("cp1252"))
    except UnicodeEncodeError:
        return False
count = 0
for base in ("/usr/share", "/usr/lib"):
    for top, dirs, files in os.walk(base):
        dirs[:] = sorted(d for d in dirs if not bad.search(d) and fits(d)
                         and not os.path.islink(os.path.join(top, d)))
        seen = set()
        dirs[:] = [d for d in dirs if not (d.lower() in seen or seen.add(d.lower()))]
        for name in sorted(files):
            path = os.path.join(top, name)
            if bad.search(name) or not fits(name) or name.lower() in seen or not os.path.isfile(path) \
                    or os.path.islink(path) or os.path.getsize(path) > 65536 \
                    or not os.access(path, os.R_OK):
                continue
            seen.add(name.lower())
            copy = os.path.join(target, base.strip("/").replace("/", "_"), os.path.relpath(path, base))
            os.makedirs(os.path.dirname(copy), exist_ok=True)
            shutil.copyfile(path, copy)
            count += 1
            if count == wanted:
                sys.exit(0)
PY
}

# Runs a command in the folder $1, printing "seconds peak_kB".
measure() {
  local folder=$1
  shift
  (cd "$folder" && /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null 2>&1)
  cat "$work/time"
}

printf '%-8s %-8s %-24s %10s %12s %14s\n' files folders tool seconds peak_kB package_bytes
for files in "$small" "$large"; do
  project=$work/$files
  make_tree "$project/tree" "$files"
  folders=$(find "$project/tree" -type d | wc -l)
  printf '[properties]\r\ntitle=Bench\r\nversion=1.0\r\nlanguage=en\r\n[files]\r\nfile0path=tree\r\n' \
    >"$project/bench.kbr"
  {
    print_wix_product_head
    cat <<'WXS'
        <Directory Id="INSTALLDIR" Name="Bench"/>
      </Directory>
    </Directory>
    <Feature Id="Main" Level="1"><ComponentGroupRef Id="Tree"/></Feature>
  </Product>
</Wix>
WXS
  } >"$project/product.wxs"
  find "$project/tree" -type f -exec cat {} + >/dev/null  # every tool reads from the page cache
  read -r kb_seconds kb_memory < <(measure "$project" "$cli" build bench.kbr)
  kb_size=$(stat -c %s "$project/Bench.msi")
  heat() {
    find tree -type f | LC_ALL=C sort | wixl-heat --prefix tree/ --directory-ref INSTALLDIR \
      --component-group Tree --var var.SourceDir >tree.wxs &&
      wixl -D SourceDir=tree -o wixl.msi product.wxs tree.wxs
  }
  export -f heat
  read -r wixl_seconds wixl_memory < <(measure "$project" bash -c heat)
  wixl_size=$(stat -c %s "$project/wixl.msi")
  printf '%-8s %-8s %-24s %10s %12s %14s\n' "$files" "$folders" "kitbinder-cli build" \
    "$kb_seconds" "$kb_memory" "$kb_size"
  printf '%-8s %-8s %-24s %10s %12s %14s\n' "$files" "$folders" "wixl-heat + wixl" \
    "$wixl_seconds" "$wixl_memory" "$wixl_size"
  rm -rf "$project"
done
