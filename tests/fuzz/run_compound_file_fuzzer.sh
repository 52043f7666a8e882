#!/usr/bin/env bash
# Builds the compound file fuzzer with clang (libFuzzer, AddressSanitizer, UBSan), makes a seed
# corpus (msitools' msibuild and wixl, our own writer, hand-made files), and fuzzes.
#   tests/fuzz/run_compound_file_fuzzer.sh [SECONDS]   (default 600)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$root/build/fuzz
seconds=${1:-600}
mkdir -p "$out/seeds" "$out/corpus"
cd "$out"

flags=(-std=c++20 -g -O1 -I"$root/src" -I"$root/tests" -DKITBINDER_SOURCE_DIR="\"$root\"")
msi_sources=("$root"/src/msi/*.cpp)
clang++ "${flags[@]}" -fsanitize=fuzzer,address,undefined "$root/tests/fuzz/compound_file_fuzzer.cpp" \
  "${msi_sources[@]}" -o compound_file_fuzzer
clang++ "${flags[@]}" "$root/tests/fuzz/make_seeds.cpp" "$root/tests/msi/crafted_file.cpp" \
  "$root/tests/msi/peer_databases.cpp" "$root/tests/msi/ole_oracle.cpp" "${msi_sources[@]}" -lz \
  -o make_seeds
./make_seeds seeds
rm -f seeds/*.idt seeds/*.bin seeds/*.wxs

./compound_file_fuzzer -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
  -max_total_time="$seconds" -print_final_stats=1 corpus seeds
echo "corpus: $(ls corpus | wc -l) files"
