#!/usr/bin/env bash
# The bytes kitbinder-cli build writes (write_bytes, what reaches the disk layer, and wchar,
# what it passes to write(), of /proc/self/io, counted for the build as a reaped child) beside
# the size of the package and its cabinets: what staging and copying the cabinets cost. Built
# once embedded, once with external cabinets.
#
#   bench/build_bytes_written.sh [BIN_DIR] [MEGABYTES] [COMPRESSION]
#
# BIN_DIR as for the other scripts; the files are those of make_bench_project.sh, up to
# MEGABYTES (default 300); COMPRESSION defaults to fast.
set -euo pipefail

here=$(dirname "$0")
source "$here/setup_bench.sh"
setup_bench "${1:-}"
megabytes=${2:-300}
compression=${3:-fast}

source "$here/make_bench_project.sh"
make_bench_project "$work/project" 100000 "$megabytes"

# Prints the bytes written by `kitbinder-cli build PROJECT ARGS...`, then the bytes of the
# package and of any cabinets beside it.
measure() {
  /usr/bin/python3 - "$cli" "$@" <<'PY'
import glob, os, subprocess, sys

def counters():
    with open("/proc/self/io") as f:
        return {k: int(v) for k, v in (line.split(": ") for line in f)}

before = counters()
subprocess.run([sys.argv[1], "build", *sys.argv[2:]], check=True, stdout=subprocess.DEVNULL,
               stderr=subprocess.DEVNULL)
after = counters()
folder = os.path.dirname(sys.argv[2])
output = sum(os.path.getsize(p) for p in glob.glob(os.path.join(folder, "Bench*")))
for counter in ("write_bytes", "wchar"):
    done = after[counter] - before[counter]
    print("  %-11s %12d bytes = %.2f x the package and cabinets (%d bytes)" % (
        counter, done, done / output, output))
PY
}

sync
echo "embedded:"
measure "$work/project/bench.kbr" --compression "$compression"
rm -f "$work/project"/Bench*
sed -i 's/^language=en\r$/language=en\r\nexternalcabinets=true\r/' "$work/project/bench.kbr"
echo "external cabinets:"
measure "$work/project/bench.kbr" --compression "$compression"
