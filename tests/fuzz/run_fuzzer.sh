#!/usr/bin/env bash
# Builds a fuzz target with clang (libFuzzer, AddressSanitizer, UBSan), makes a seed corpus
# (msitools' msibuild and wixl, our own writer, hand-made files, and the package templates when
# build/debug/bin has them), and fuzzes.
#   tests/fuzz/run_fuzzer.sh TARGET [SECONDS]   (TARGET: compound_file or database; default 600)
# A malloc over 256 MB counts as a finding: no input of a few kilobytes should need one.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
target=${1:?usage: run_fuzzer.sh compound_file|database [SECONDS]}
seconds=${2:-600}
source=$root/tests/fuzz/${target}_fuzzer.cpp
[[ -f $source ]] || { echo "no fuzz target $target" >&2; exit 2; }
out=$root/build/fuzz
mkdir -p "$out/seeds" "$out/$target/corpus"
cd "$out"

flags=(-std=c++20 -g -O1 -I"$root/src" -I"$root/tests" -DKITBINDER_SOURCE_DIR="\"$root\"")
msi_sources=("$root"/src/msi/*.cpp "$root"/src/platform/*.cpp)
clang++ "${flags[@]}" -fsanitize=fuzzer,address,undefined "$source" "${msi_sources[@]}" \
  -o "${target}_fuzzer"
clang++ "${flags[@]}" "$root/tests/fuzz/make_seeds.cpp" "$root/tests/msi/crafted_file.cpp" \
  "$root/tests/msi/peer_databases.cpp" "$root/tests/msi/ole_oracle.cpp" "${msi_sources[@]}" -lz \
  -o make_seeds
./make_seeds seeds
rm -f seeds/*.idt seeds/*.bin seeds/*.wxs
cp "$root"/build/debug/bin/template-*.msi seeds/ 2>/dev/null || true

"./${target}_fuzzer" -max_len=131072 -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=256 \
  -max_total_time="$seconds" -print_final_stats=1 "$target/corpus" seeds
echo "corpus: $(ls "$target/corpus" | wc -l) files"
