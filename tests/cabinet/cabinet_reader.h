#ifndef KITBINDER_TESTS_CABINET_CABINET_READER_H_
#define KITBINDER_TESTS_CABINET_CABINET_READER_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Reads the layout of a cabinet file as the published format describes it, for the facts that
// extracting programs do not show (offsets, folder indexes, block sizes, set links).
namespace kb::test {

struct CabBlock {
  std::uint32_t checksum = 0;
  std::uint16_t compressed_size = 0;
  std::uint16_t uncompressed_size = 0;
  std::string data;
};

struct CabFolder {
  std::uint32_t first_block_offset = 0;
  std::uint16_t compression_type = 0;
  std::vector<CabBlock> blocks;
};

struct CabFile {
  std::string name;
  std::uint32_t size = 0;
  std::uint32_t folder_offset = 0;
  std::uint16_t folder = 0;
  std::uint16_t date = 0;
  std::uint16_t time = 0;
  std::uint16_t attributes = 0;
};

struct CabLayout {
  std::string signature;
  std::uint32_t cabinet_size = 0;
  std::uint32_t files_offset = 0;
  std::uint16_t flags = 0;
  std::uint16_t set_id = 0;
  std::uint16_t cabinet_index = 0;
  std::uint16_t header_reserve = 0;
  std::uint8_t folder_reserve = 0;
  std::uint8_t data_reserve = 0;
  std::string previous_cabinet, previous_disk, next_cabinet, next_disk;
  std::vector<CabFolder> folders;
  std::vector<CabFile> files;
};

// nullopt when the bytes are not a well-formed cabinet (any field pointing outside the file).
std::optional<CabLayout> ReadCabinetLayout(std::string_view bytes);

}  // namespace kb::test

#endif  // KITBINDER_TESTS_CABINET_CABINET_READER_H_
