# Sourced by the benchmark scripts.
#
#   make_bench_project DIR FILES MEGABYTES
#
# Fills DIR/files with the first regular files of /usr/lib and /usr/share between 16 kB and 2 MB
# in sorted order, up to FILES files or MEGABYTES, copied under unique names (so a machine with
# the same packages gets the same set), writes the project DIR/bench.kbr (title "Bench") that
# lists them, and prints the input's size.
make_bench_project() {
  local dir=$1 max_files=$2 megabytes=$3
  mkdir -p "$dir/files"
  { LC_ALL=C find /usr/lib /usr/share -type f -readable -size +16k -size -2048k \
      -printf '%p\t%s\n' 2>/dev/null || true; } | LC_ALL=C sort >"$dir.all"
  awk -F '\t' -v files="$max_files" -v limit=$((megabytes * 1024 * 1024)) \
    '{ print $1; total += $2; if (NR >= files || total >= limit) exit }' "$dir.all" >"$dir.list"

  local n=0 path
  while IFS= read -r path; do
    n=$((n + 1))
    cp "$path" "$dir/files/$(printf 'f%04d_' "$n")$(basename "$path")"
  done <"$dir.list"
  rm -f "$dir.all" "$dir.list"
  local names
  mapfile -t names < <(cd "$dir/files" && LC_ALL=C ls)
  echo "input: ${#names[@]} files, $(du -sb "$dir/files" | cut -f1) bytes"

  {
    printf '[properties]\r\ntitle=Bench\r\nversion=1.0.0\r\nlanguage=en\r\n[files]\r\n'
    for i in "${!names[@]}"; do printf 'file%dpath=files/%s\r\n' "$i" "${names[$i]}"; done
  } >"$dir/bench.kbr"
}
