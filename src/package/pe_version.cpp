#include "package/pe_version.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace kb {
namespace {

constexpr std::uint32_t kResourceTypeVersion = 16;
constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr std::uint32_t kSubdirectoryBit = 0x80000000u;
// A version resource is a few kilobytes; a larger one is damaged or hostile.
constexpr std::uint32_t kMaxVersionResource = 1u << 20;
constexpr int kMaxSections = 96;

// Little-endian reads from a file at absolute offsets, each refused past the file's end.
class FileReader {
 public:
  explicit FileReader(const std::string& path) : file_(path, std::ios::binary) {
    if (file_) {
      file_.seekg(0, std::ios::end);
      size_ = static_cast<std::uint64_t>(file_.tellg());
    }
  }
  std::optional<std::vector<std::uint8_t>> Bytes(std::uint64_t offset, std::uint32_t count) {
    if (!file_ || offset > size_ || count > size_ - offset) return std::nullopt;
    std::vector<std::uint8_t> bytes(count);
    file_.seekg(static_cast<std::streamoff>(offset));
    if (!file_.read(reinterpret_cast<char*>(bytes.data()), count)) return std::nullopt;
    return bytes;
  }
  std::optional<std::uint32_t> U32(std::uint64_t offset) { return Number(offset, 4); }
  std::optional<std::uint32_t> U16(std::uint64_t offset) { return Number(offset, 2); }

 private:
  std::optional<std::uint32_t> Number(std::uint64_t offset, std::uint32_t width) {
    const auto bytes = Bytes(offset, width);
    if (!bytes) return std::nullopt;
    std::uint32_t value = 0;
    for (std::uint32_t i = width; i-- > 0;) value = value << 8 | (*bytes)[i];
    return value;
  }

  std::ifstream file_;
  std::uint64_t size_ = 0;
};

std::uint32_t Read16(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  return bytes[offset] | std::uint32_t{bytes[offset + 1]} << 8;
}

std::uint32_t Read32(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  return Read16(bytes, offset) | Read16(bytes, offset + 2) << 16;
}

struct Section {
  std::uint32_t virtual_address = 0;
  std::uint32_t virtual_size = 0;
  std::uint32_t raw_offset = 0;
};

// Where the PE file keeps its resources: the resource directory's address in memory, and the
// sections that map memory to file offsets.
struct ResourceLayout {
  std::uint32_t resource_rva = 0;
  std::vector<Section> sections;

  std::optional<std::uint64_t> FileOffset(std::uint32_t rva) const {
    for (const Section& section : sections) {
      if (rva >= section.virtual_address && rva - section.virtual_address < section.virtual_size) {
        return std::uint64_t{section.raw_offset} + (rva - section.virtual_address);
      }
    }
    return std::nullopt;
  }
};

std::optional<ResourceLayout> ReadLayout(FileReader& file) {
  const auto mz = file.U16(0);
  const auto pe_offset = file.U32(0x3C);
  if (mz != 0x5A4D || !pe_offset || file.U32(*pe_offset) != 0x00004550) return std::nullopt;
  const std::uint64_t coff = std::uint64_t{*pe_offset} + 4;
  const auto section_count = file.U16(coff + 2);
  const auto optional_size = file.U16(coff + 16);
  const std::uint64_t optional_header = coff + 20;
  const auto magic = file.U16(optional_header);
  if (!section_count || !optional_size || !magic || *section_count > kMaxSections) {
    return std::nullopt;
  }
  // PE32 and PE32+ differ in where the data directories start.
  const std::uint64_t directories = optional_header + (*magic == 0x20B ? 112 : 96);
  const std::uint64_t directory_count_at = directories - 4;
  const auto directory_count = file.U32(directory_count_at);
  if (*magic != 0x10B && *magic != 0x20B) return std::nullopt;
  if (!directory_count || *directory_count < 3) return std::nullopt;
  ResourceLayout layout;
  const auto resource_rva = file.U32(directories + 2 * 8);
  if (!resource_rva || *resource_rva == 0) return std::nullopt;
  layout.resource_rva = *resource_rva;
  const std::uint64_t section_table = optional_header + *optional_size;
  for (std::uint32_t index = 0; index < *section_count; ++index) {
    const auto header = file.Bytes(section_table + index * 40u, 40);
    if (!header) return std::nullopt;
    const std::uint32_t virtual_size = std::max(Read32(*header, 8), Read32(*header, 16));
    layout.sections.push_back(Section{Read32(*header, 12), virtual_size, Read32(*header, 20)});
  }
  return layout;
}

// The first entry of the resource directory at `directory` (an offset into the resource
// section) whose id is `id`, or the first entry at all when `id` is nullopt: the offset its
// entry points to, with the subdirectory bit.
std::optional<std::uint32_t> DirectoryEntry(FileReader& file, std::uint64_t section,
                                            std::uint32_t directory,
                                            std::optional<std::uint32_t> id,
                                            std::uint32_t* entry_id) {
  const auto named = file.U16(section + directory + 12);
  const auto numbered = file.U16(section + directory + 14);
  if (!named || !numbered) return std::nullopt;
  for (std::uint32_t index = 0; index < *named + *numbered; ++index) {
    const std::uint64_t entry = section + directory + 16 + index * 8u;
    const auto name = file.U32(entry);
    const auto target = file.U32(entry + 4);
    if (!name || !target) return std::nullopt;
    if (!id || (*name == *id && index >= *named)) {
      if (entry_id) *entry_id = *name;
      return *target;
    }
  }
  return std::nullopt;
}

// The version resource's bytes and the language its entry is filed under.
std::optional<std::pair<std::vector<std::uint8_t>, std::uint32_t>> VersionResource(
    FileReader& file, const ResourceLayout& layout) {
  const auto section = layout.FileOffset(layout.resource_rva);
  if (!section) return std::nullopt;
  std::uint32_t language = 0;
  auto type = DirectoryEntry(file, *section, 0, kResourceTypeVersion, nullptr);
  if (!type || !(*type & kSubdirectoryBit)) return std::nullopt;
  auto name = DirectoryEntry(file, *section, *type & ~kSubdirectoryBit, std::nullopt, nullptr);
  if (!name || !(*name & kSubdirectoryBit)) return std::nullopt;
  auto data = DirectoryEntry(file, *section, *name & ~kSubdirectoryBit, std::nullopt, &language);
  if (!data || (*data & kSubdirectoryBit)) return std::nullopt;
  const auto data_rva = file.U32(*section + *data);
  const auto data_size = file.U32(*section + *data + 4);
  if (!data_rva || !data_size || *data_size > kMaxVersionResource) return std::nullopt;
  const auto offset = layout.FileOffset(*data_rva);
  if (!offset) return std::nullopt;
  auto bytes = file.Bytes(*offset, *data_size);
  if (!bytes) return std::nullopt;
  return std::pair{std::move(*bytes), language};
}

// One block of a version resource: its length, value length, key and where its value and
// children start, all within `bytes`.
struct Block {
  std::size_t start = 0;
  std::size_t end = 0;
  std::size_t value_length = 0;
  std::u16string key;
  std::size_t value = 0;  // where the value starts (4-byte aligned after the key)
};

std::size_t Align4(std::size_t offset) {
  return (offset + 3) & ~std::size_t{3};
}

std::optional<Block> ReadBlock(const std::vector<std::uint8_t>& bytes, std::size_t start,
                               std::size_t limit) {
  if (start + 6 > limit) return std::nullopt;
  Block block;
  block.start = start;
  const std::size_t length = Read16(bytes, start);
  if (length < 6 || start + length > limit) return std::nullopt;
  block.end = start + length;
  block.value_length = Read16(bytes, start + 2);
  std::size_t at = start + 6;
  for (; at + 2 <= block.end && Read16(bytes, at) != 0; at += 2) {
    block.key.push_back(static_cast<char16_t>(Read16(bytes, at)));
  }
  block.value = Align4(at + 2);
  return block;
}

// The first language of the VarFileInfo\Translation list, if the resource has one.
std::optional<std::uint32_t> TranslationLanguage(const std::vector<std::uint8_t>& bytes,
                                                 std::size_t children, std::size_t end) {
  for (std::size_t at = Align4(children); at < end;) {
    const auto block = ReadBlock(bytes, at, end);
    if (!block) return std::nullopt;
    if (block->key == u"VarFileInfo") {
      for (std::size_t var = Align4(block->value); var < block->end;) {
        const auto entry = ReadBlock(bytes, var, block->end);
        if (!entry) return std::nullopt;
        if (entry->key == u"Translation" && entry->value_length >= 2 &&
            entry->value + 2 <= entry->end) {
          return Read16(bytes, entry->value);
        }
        var = Align4(entry->end);
      }
    }
    at = Align4(block->end);
  }
  return std::nullopt;
}

}  // namespace

std::optional<PeVersion> ReadPeVersion(const std::string& path) {
  FileReader file(path);
  const auto layout = ReadLayout(file);
  if (!layout) return std::nullopt;
  const auto resource = VersionResource(file, *layout);
  if (!resource) return std::nullopt;
  const auto& [bytes, entry_language] = *resource;
  const auto root = ReadBlock(bytes, 0, bytes.size());
  constexpr std::size_t kFixedInfoSize = 52;
  if (!root || root->key != u"VS_VERSION_INFO" || root->value_length < kFixedInfoSize ||
      root->value + kFixedInfoSize > root->end ||
      Read32(bytes, root->value) != kFixedInfoSignature) {
    return std::nullopt;
  }
  const std::uint32_t high = Read32(bytes, root->value + 8);
  const std::uint32_t low = Read32(bytes, root->value + 12);
  PeVersion version;
  version.version = std::to_string(high >> 16) + '.' + std::to_string(high & 0xFFFF) + '.' +
                    std::to_string(low >> 16) + '.' + std::to_string(low & 0xFFFF);
  const auto language = TranslationLanguage(bytes, root->value + root->value_length, root->end);
  version.language = std::to_string(language.value_or(entry_language));
  return version;
}

}  // namespace kb
