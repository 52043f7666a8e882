#!/usr/bin/env bash
# kitbinder-cli cab beside gcab -cz on the same files: wall time, peak memory and cabinet size,
# for kitbinder-cli with one compression thread (--jobs 1) and with one per hardware thread.
#
#   bench/cab_vs_gcab.sh [BIN_DIR] [MEGABYTES] [LEVEL]
#
# BIN_DIR holds kitbinder-cli: by default the script's own folder when kitbinder-cli is there
# (the build copies the script into build/release/bin as bench_cab_vs_gcab, so `make bench` runs
# it), else build/release/bin. The files are
# the first regular files of /usr/lib and /usr/share in sorted order until MEGABYTES (default
# 300) are reached, so a machine with the same packages gets the same set; a file whose name
# came before is passed over, since gcab leaves out a second file of the same name and would
# otherwise pack less than we do. The cabinets are
# checked with `cabextract -t` afterwards, and ours must be the same with any number of threads.
# LEVEL is kitbinder-cli's --compression (default best).
set -euo pipefail

here=$(dirname "$0")
source "$here/setup_bench.sh"
setup_bench "${1:-}"
megabytes=${2:-300}
level=${3:-best}

{ LC_ALL=C find /usr/lib /usr/share -type f -readable -size +0 -printf '%p\t%s\n' 2>/dev/null ||
    true; } | LC_ALL=C sort >"$work/all"
awk -F '\t' -v limit=$((megabytes * 1024 * 1024)) \
  '{ n = split($1, part, "/"); if (seen[part[n]]++) next
     print $1; total += $2; if (total >= limit) exit }' "$work/all" >"$work/list"
count=$(wc -l <"$work/list")
bytes=$(xargs -d '\n' stat -c %s <"$work/list" | awk '{ s += $1 } END { print s }')
echo "input: $count files, $bytes bytes; kitbinder-cli --compression $level"

# Runs a command in $work, printing "seconds peak_kB".
measure() {
  (cd "$work" && /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null 2>&1)
  cat "$work/time"
}

mapfile -t files <"$work/list"
# Both tools read the files from the page cache, not the first one from the disk.
cat "${files[@]}" >/dev/null
read -r one_seconds one_memory < <(measure "$cli" cab --compression "$level" --jobs 1 one "${files[@]}")
read -r all_seconds all_memory < <(measure "$cli" cab --compression "$level" all "${files[@]}")
read -r gcab_seconds gcab_memory < <(measure gcab -c -z -n "$work/gcab.cab" "${files[@]}")
kb_size=$(cat "$work"/all*.cab | wc -c)
gcab_size=$(wc -c <"$work/gcab.cab")

cmp -s <(cat "$work"/one*.cab) <(cat "$work"/all*.cab) ||
  { echo "the cabinets of --jobs 1 and of all threads differ"; exit 1; }
cabextract -t "$work"/all1.cab >/dev/null || { echo "kitbinder cabinet failed cabextract -t"; exit 1; }
cabextract -t "$work/gcab.cab" >/dev/null || { echo "gcab cabinet failed cabextract -t"; exit 1; }

threads=$(nproc)
printf '%-26s %10s %12s %14s\n' tool seconds peak_kB cabinet_bytes
printf '%-26s %10s %12s %14s\n' "kitbinder-cli --jobs 1" "$one_seconds" "$one_memory" "$kb_size"
printf '%-26s %10s %12s %14s\n' "kitbinder-cli ($threads threads)" "$all_seconds" "$all_memory" "$kb_size"
printf '%-26s %10s %12s %14s\n' "gcab -cz" "$gcab_seconds" "$gcab_memory" "$gcab_size"
awk -v one="$one_seconds" -v all="$all_seconds" -v g="$gcab_seconds" -v c="$kb_size" \
  -v d="$gcab_size" -v e="$all_memory" -v f="$gcab_memory" -v n="$threads" 'BEGIN {
    printf "speed-up of %d threads over one: %.2f\n", n, one / all
    printf "kitbinder/gcab: time %.2f with one thread, %.2f with %d; size %.3f; peak memory %.2f\n",
      one / g, all / g, n, c / d, e / f }'
