#!/usr/bin/env bash
# Builds a fuzz target with clang (libFuzzer, AddressSanitizer, UBSan), makes its seed corpus,
# and fuzzes. Seeds of compound_file and database: msitools' msibuild and wixl, our own writer,
# hand-made files, and the package templates when build/debug/bin has them; of project_file:
# the sample project. The committed corpus (tests/fuzz/corpus/TARGET: the inputs of faults
# found and fixed) is read too; new inputs go to build/fuzz/TARGET/corpus.
#   tests/fuzz/run_fuzzer.sh TARGET [SECONDS]   (TARGET: compound_file, database or
#                                                project_file; SECONDS default 600)
# A malloc over 256 MB counts as a finding: no input of a few kilobytes should need one.
# Needs only what scripts/bootstrap installs (clang with its libFuzzer runtime, msitools, wixl).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
target=${1:?usage: run_fuzzer.sh compound_file|database|project_file [SECONDS]}
seconds=${2:-600}
source=$root/tests/fuzz/${target}_fuzzer.cpp
[[ -f $source ]] || { echo "no fuzz target $target" >&2; exit 2; }
out=$root/build/fuzz
seeds=$out/$target/seeds
mkdir -p "$seeds" "$out/$target/corpus"
cd "$out"

flags=(-std=c++20 -g -O1 -I"$root/src" -I"$root/tests" -DKITBINDER_SOURCE_DIR="\"$root\""
  -fsanitize=fuzzer-no-link,address,undefined)
sources=("$root"/src/platform/*.cpp)
if [[ $target == project_file ]]; then
  sources+=("$root"/src/project/*.cpp)
else
  sources+=("$root"/src/msi/*/*.cpp "$root"/tests/msi/{crafted_file,peer_databases,ole_oracle}.cpp)
fi
# Every source is compiled to an object of its own, two at a time (FUZZ_JOBS to change).
objects=$out/$target/objects
rm -rf "$objects" && mkdir -p "$objects"
export objects
printf '%s\0' "${sources[@]}" | xargs -0 -P "${FUZZ_JOBS:-2}" -I{} sh -c \
  'clang++ "$@" -c "$0" -o "$objects/$(echo "$0" | tr / _).o"' {} "${flags[@]}"
clang++ "${flags[@]}" -fsanitize=fuzzer "$source" "$objects"/*.o -lz -o "${target}_fuzzer"

if [[ $target == project_file ]]; then
  cp "$root"/examples/*/*.kbr "$seeds/"
else
  clang++ "${flags[@]}" "$root/tests/fuzz/make_seeds.cpp" "$objects"/*.o -lz -o "$target/make_seeds"
  "$target/make_seeds" "$seeds"
  cp "$root"/build/debug/bin/template-*.msi "$seeds/" 2>/dev/null || true
fi

# Targets that write files do so in TMPDIR: memory is quicker than a disk that syncs.
[[ -d /dev/shm ]] && export TMPDIR=/dev/shm
committed=()
[[ -d $root/tests/fuzz/corpus/$target ]] && committed=("$root/tests/fuzz/corpus/$target")
"./${target}_fuzzer" -max_len=131072 -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=256 \
  -max_total_time="$seconds" -print_final_stats=1 "$target/corpus" "$seeds" "${committed[@]}"
echo "corpus: $(ls "$target/corpus" | wc -l) files"
