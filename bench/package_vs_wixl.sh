#!/usr/bin/env bash
# kitbinder-cli build beside wixl on the same files: wall time, peak memory, package size, and
# the bytes our database engine writes into the package (counted with strace in a second run).
# kitbinder-cli builds once with one compression thread (--jobs 1), once with one per hardware
# thread.
#
#   bench/package_vs_wixl.sh [BIN_DIR] [FILES] [MEGABYTES] [COMPRESSION]
#
# BIN_DIR holds kitbinder-cli and the templates (default: this script's folder when they are
# there, else build/release/bin). The files are those of make_bench_project.sh, up to FILES
# (default 2000) files or MEGABYTES (default 200); COMPRESSION (best, normal, fast, none or lzx)
# is the project's, the build's default when left out.
set -euo pipefail

here=$(dirname "$0")
source "$here/setup_bench.sh"
setup_bench "${1:-}"
max_files=${2:-2000}
megabytes=${3:-200}
compression=${4:-}

source "$here/make_bench_project.sh"
make_bench_project "$work/project" "$max_files" "$megabytes"
if [[ -n $compression ]]; then
  sed -i "s/^language=en\r\$/language=en\r\ncompression=$compression\r/" "$work/project/bench.kbr"
fi
mapfile -t names < <(cd "$work/project/files" && LC_ALL=C ls)

{
  print_wix_product_head
  printf '        <Directory Id="INSTALLDIR" Name="Bench">\n'
  for i in "${!names[@]}"; do
    printf '          <Component Id="c%d" Guid="*"><File Id="f%d" Source="files/%s" KeyPath="yes"/></Component>\n' \
      "$i" "$i" "${names[$i]}"
  done
  printf '        </Directory>\n      </Directory>\n    </Directory>\n    <Feature Id="Main" Level="1">\n'
  for i in "${!names[@]}"; do printf '      <ComponentRef Id="c%d"/>\n' "$i"; done
  printf '    </Feature>\n  </Product>\n</Wix>\n'
} >"$work/project/bench.wxs"

# Runs a command in the project folder, printing "seconds peak_kB".
measure() {
  (cd "$work/project" && /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null 2>&1)
  cat "$work/time"
}

cat "$work"/project/files/* >/dev/null  # both read from the page cache
read -r one_seconds one_memory < <(measure "$cli" build bench.kbr --jobs 1)
read -r kb_seconds kb_memory < <(measure "$cli" build bench.kbr)
kb_size=$(stat -c %s "$work/project/Bench.msi")
read -r wixl_seconds wixl_memory < <(measure wixl -o wixl.msi bench.wxs)
wixl_size=$(stat -c %s "$work/project/wixl.msi")

# Every write into the package is the database engine's: the template copy is made with
# copy_file_range, not write. The package is written as the hidden .Bench.msi.XXXXXX first.
(cd "$work/project" && strace -f -y -e trace=write,pwrite64,writev,pwritev -o "$work/trace" \
  "$cli" build bench.kbr >/dev/null)
engine_bytes=$({ grep -E '<[^>]*Bench\.msi(\.[^>/]*)?>' "$work/trace" || true; } |
  sed -nE 's/.*= ([0-9]+)$/\1/p' |
  awk '{ s += $1 } END { print s + 0 }')

threads=$(nproc)
printf '%-32s %10s %12s %14s\n' tool seconds peak_kB package_bytes
printf '%-32s %10s %12s %14s\n' "kitbinder-cli build --jobs 1" "$one_seconds" "$one_memory" ""
printf '%-32s %10s %12s %14s\n' "kitbinder-cli build ($threads threads)" "$kb_seconds" "$kb_memory" \
  "$kb_size"
printf '%-32s %10s %12s %14s\n' wixl "$wixl_seconds" "$wixl_memory" "$wixl_size"
awk -v a="$kb_seconds" -v b="$wixl_seconds" -v c="$kb_size" -v d="$wixl_size" \
  -v e="$kb_memory" -v f="$wixl_memory" -v w="$engine_bytes" -v one="$one_seconds" \
  -v n="$threads" 'BEGIN {
    printf "speed-up of %d threads over one: %.2f\n", n, one / a
    printf "kitbinder/wixl: time %.2f (%.2f with one thread), size %.3f, peak memory %.2f\n",
      a / b, one / b, c / d, e / f
    printf "database engine wrote %d bytes into the package: %.3f times its size\n", w, w / c }'
