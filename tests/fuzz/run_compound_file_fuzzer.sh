#!/usr/bin/env bash
# Builds the compound file fuzzer with clang (libFuzzer, AddressSanitizer, UBSan), makes a seed
# corpus from msitools' msibuild and wixl and from our own writer, and fuzzes.
#   tests/fuzz/run_compound_file_fuzzer.sh [SECONDS]   (default 600)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$root/build/fuzz
seconds=${1:-600}
mkdir -p "$out/seeds" "$out/corpus"
cd "$out"

flags=(-std=c++20 -g -O1 -I"$root/src" -I"$root/tests")
msi_sources=("$root"/src/msi/*.cpp)
clang++ "${flags[@]}" -fsanitize=fuzzer,address,undefined "$root/tests/fuzz/compound_file_fuzzer.cpp" \
  "${msi_sources[@]}" -o compound_file_fuzzer
clang++ "${flags[@]}" "$root/tests/fuzz/make_seeds.cpp" "$root/tests/msi/crafted_file.cpp" \
  "$root/tests/msi/peer_databases.cpp" "$root/tests/msi/ole_oracle.cpp" "${msi_sources[@]}" -lz \
  -o make_seeds
./make_seeds seeds

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'Property\tValue\ns72\tl0\nProperty\tProperty\nProductName\tSeed\n' > "$work/Property.idt"
head -c 5000 /dev/urandom > "$work/big.bin"
head -c 200 /dev/urandom > "$work/small.bin"
(cd "$work" && msibuild "$out/seeds/msibuild.msi" -i Property.idt -a Binary.big big.bin -a small small.bin)
cat > "$work/p.wxs" <<'WXS'
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="Seed" Language="1033" Version="1.0.0" Manufacturer="Me"
           UpgradeCode="12345678-1234-1234-1234-123456789012">
    <Package InstallerVersion="200" Compressed="yes" />
    <Media Id="1" Cabinet="seed.cab" EmbedCab="yes" />
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Component Id="C1" Guid="11111111-2222-3333-4444-555555555555">
        <File Id="F1" Source="small.bin" />
      </Component>
    </Directory>
    <Feature Id="Main" Level="1"><ComponentRef Id="C1" /></Feature>
  </Product>
</Wix>
WXS
(cd "$work" && wixl -o "$out/seeds/wixl.msi" p.wxs)

./compound_file_fuzzer -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
  -max_total_time="$seconds" -print_final_stats=1 corpus seeds
echo "corpus: $(ls corpus | wc -l) files"
