#!/usr/bin/env bash
# kitbinder-cli import and export of one large table beside msitools (msibuild -i, msiinfo
# export) on the same archive: wall time and peak memory of each, and the exports compared.
#
#   bench/import_export_vs_msitools.sh [BIN_DIR] [ROWS] [RUNS]
#
# BIN_DIR holds kitbinder-cli: by default the script's own folder when kitbinder-cli is there
# (the build copies the script into build/release/bin as bench_import_export_vs_msitools), else
# build/release/bin. The table has ROWS rows (default 100,000) of a distinct text key, a long
# integer, a text of some 40 characters and a nullable short; every tool runs RUNS times
# (default 3), alternating, and the fastest run of each is printed.
set -euo pipefail

here=$(dirname "$0")
source "$here/setup_bench.sh"
setup_bench "${1:-}"
rows=${2:-100000}
runs=${3:-3}

mkdir -p "$work/arc"
awk -v rows="$rows" 'BEGIN {
    printf "Key\tNumber\tText\tAttributes\r\ns72\ti4\tS255\tI2\r\nBig\tKey\r\n"
    for (i = 0; i < rows; ++i) {
      printf "Row%07d\t%d\tThe text of row %d, some forty characters\t%s\r\n", \
        (i * 7919) % rows, i * 37 - 1000000, i, (i % 7 == 0) ? "" : i % 30000
    }
  }' >"$work/arc/Big.idt"
echo "input: $rows rows, $(wc -c <"$work/arc/Big.idt") bytes of archive"

# Runs a command in $work, printing "seconds peak_kB"; its output goes to $work/out.
measure() {
  (cd "$work" && /usr/bin/time -f '%e %M' -o "$work/time" "$@" >"$work/out" 2>&1) ||
    { echo "failed: $*"; cat "$work/out"; exit 1; }
  cat "$work/time"
}

best() { sort -n | head -1; }

for ((run = 0; run < runs; ++run)); do
  rm -f "$work/k.msi" "$work/m.msi"
  measure "$cli" import k.msi arc Big.idt >>"$work/k_import"
  measure msibuild m.msi -i arc/Big.idt >>"$work/m_import"
  rm -rf "$work/kout" && mkdir "$work/kout"
  measure "$cli" export k.msi Big kout >>"$work/k_export"
  measure msiinfo export m.msi Big >>"$work/m_export"
  cp "$work/out" "$work/msiinfo.idt"
done

# The same table, whoever wrote or reads it: msiinfo reads ours as we read msibuild's.
cmp -s "$work/kout/Big.idt" "$work/msiinfo.idt" ||
  { echo "kitbinder-cli's and msiinfo's exports differ"; exit 1; }
(cd "$work" && msiinfo export k.msi Big >cross_m.idt && "$cli" export m.msi Big >cross_k.idt)
cmp -s "$work/cross_m.idt" "$work/msiinfo.idt" && cmp -s "$work/cross_k.idt" "$work/msiinfo.idt" ||
  { echo "a database read by the other tool exports otherwise"; exit 1; }
cmp -s <(sort "$work/arc/Big.idt") <(sort "$work/msiinfo.idt") ||
  { echo "the export holds other rows than the archive"; exit 1; }

printf '%-28s %10s %12s %12s\n' step seconds peak_kB db_bytes
for step in import export; do
  read -r ks km < <(best <"$work/k_$step")
  read -r ms mm < <(best <"$work/m_$step")
  printf '%-28s %10s %12s %12s\n' "kitbinder-cli $step" "$ks" "$km" "$(wc -c <"$work/k.msi")"
  printf '%-28s %10s %12s %12s\n' "msitools $step" "$ms" "$mm" "$(wc -c <"$work/m.msi")"
  awk -v a="$ks" -v b="$ms" -v c="$km" -v d="$mm" -v s="$step" \
    'BEGIN { printf "kitbinder/msitools %s: time %.2f, peak memory %.2f\n", s, a / b, c / d }'
done
