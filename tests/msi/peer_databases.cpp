#include "peer_databases.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

#include "ole_oracle.h"

namespace kb::msi::test {

std::vector<std::byte> TestBytes(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<std::byte> data(size);
  for (std::size_t i = 0; i < size; i += 4) {
    const std::uint32_t word = rng();
    std::memcpy(data.data() + i, &word, std::min<std::size_t>(4, size - i));
  }
  return data;
}

void WriteFile(const std::filesystem::path& path, const std::vector<std::byte>& data) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

std::vector<std::byte> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> chars((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::byte> data(chars.size());
  std::copy(chars.begin(), chars.end(), reinterpret_cast<char*>(data.data()));
  return data;
}

std::string MakeMsibuildDatabase(const std::filesystem::path& dir) {
  std::ofstream(dir / "Property.idt")
      << "Property\tValue\ns72\tl0\nProperty\tProperty\nProductName\tTest\n"
         "ProductCode\t{11111111-2222-3333-4444-555555555555}\n";
  WriteFile(dir / "big.bin", TestBytes(10000, 1));
  WriteFile(dir / "edge.bin", TestBytes(4096, 2));
  WriteFile(dir / "small.bin", TestBytes(100, 3));
  const std::string msi = (dir / "msibuild.msi").string();
  int status = 0;
  RunCommand("cd '" + dir.string() + "' && msibuild msibuild.msi -i Property.idt -a Binary.big " +
                 "big.bin -a Binary.edge edge.bin -a small small.bin 2>&1",
             &status);
  return status == 0 ? msi : std::string();
}

std::string MakeWixlDatabase(const std::filesystem::path& dir) {
  WriteFile(dir / "payload.bin", TestBytes(30000, 4));
  std::ofstream(dir / "product.wxs") << R"(<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="Tst" Language="1033" Version="1.0.0" Manufacturer="Me"
           UpgradeCode="12345678-1234-1234-1234-123456789012">
    <Package InstallerVersion="200" Compressed="yes" />
    <Media Id="1" Cabinet="prod.cab" EmbedCab="yes" />
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="INSTALLDIR" Name="Tst">
          <Component Id="C1" Guid="11111111-2222-3333-4444-555555555555">
            <File Id="F1" Source="payload.bin" />
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Main" Level="1"><ComponentRef Id="C1" /></Feature>
  </Product>
</Wix>
)";
  int status = 0;
  RunCommand("cd '" + dir.string() + "' && wixl -o wixl.msi product.wxs 2>&1", &status);
  return status == 0 ? (dir / "wixl.msi").string() : std::string();
}

}  // namespace kb::msi::test
