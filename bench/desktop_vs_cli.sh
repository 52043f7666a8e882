#!/usr/bin/env bash
# Package ▸ Build in the desktop program (offscreen, through desktop_build_probe) beside
# kitbinder-cli build of the same project: the seconds of each (the median of RUNS alternating
# runs), how often the desktop's windows repainted while it built, and the longest time its
# window went without handling events (so without repainting when it needed to).
#
#   bench/desktop_vs_cli.sh [BIN_DIR] [FILES] [MEGABYTES] [RUNS]
#
# BIN_DIR holds kitbinder-cli, desktop_build_probe and the templates (default: this script's
# folder when they are there, else build/release/bin). The files are those of
# make_bench_project.sh, up to FILES (default 2000) files or MEGABYTES (default 200); RUNS
# defaults to 3. The desktop's wall time runs from the command to the final message, the command
# line's is its whole process; the processor time (user and system) is each whole process's,
# measured in a second run of the command line and the desktop's one run, and is the steadier
# figure on a busy machine.
set -euo pipefail

here=$(dirname "$0")
source "$here/setup_bench.sh"
setup_bench "${1:-}"
max_files=${2:-2000}
megabytes=${3:-200}
runs=${4:-3}
probe=$(realpath "$bin/desktop_build_probe")

source "$here/make_bench_project.sh"
make_bench_project "$work/project" "$max_files" "$megabytes"
cat "$work"/project/files/* >/dev/null  # both read from the page cache
# The desktop program keeps its recent files here, not in the user's settings.
export XDG_CONFIG_HOME=$work/config QT_QPA_PLATFORM=offscreen

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# Runs a command, appending its user plus system seconds to the file $1.
cpu_seconds() {
  local out=$1
  shift
  /usr/bin/time -f '%U %S' -o "$work/time" "$@"
  awk '{ print $1 + $2 }' "$work/time" >>"$out"
}

for ((run = 1; run <= runs; run++)); do
  (cd "$work/project" && /usr/bin/time -f %e -o "$work/time" "$cli" build bench.kbr >/dev/null)
  cat "$work/time" >>"$work/cli"
  (cd "$work/project" && cpu_seconds "$work/cli-cpu" "$cli" build bench.kbr >/dev/null)
  cpu_seconds "$work/desktop-cpu" "$probe" "$work/project/bench.kbr" >/dev/null 2>"$work/probe" ||
    { cat "$work/probe" >&2; exit 1; }
  sed -n 's/^figures: //p' "$work/probe" >>"$work/desktop"
done

cli_wall=$(median <"$work/cli")
desktop_wall=$(cut -d' ' -f1 "$work/desktop" | median)
cli_cpu=$(median <"$work/cli-cpu")
desktop_cpu=$(median <"$work/desktop-cpu")
printf '%-24s %13s %12s\n' build wall_seconds cpu_seconds
printf '%-24s %13s %12s\n' "kitbinder-cli build" "$cli_wall" "$cli_cpu"
printf '%-24s %13s %12s\n' "desktop Package > Build" "$desktop_wall" "$desktop_cpu"
awk -v a="$desktop_wall" -v b="$cli_wall" -v c="$desktop_cpu" -v d="$cli_cpu" \
  'BEGIN { printf "desktop/cli: wall time %.3f, cpu time %.3f\n", a / b, c / d }'
echo "each desktop build: widget repaints in the main window, in the progress dialog, and the longest"
echo "time the window went without handling events:"
awk '{ printf "  %d, %d (%.1f per second), %d ms\n", $2, $3, $3 / $1, $4 }' "$work/desktop"
