#include "msi/db/stream_name.h"

#include <gtest/gtest.h>

namespace kb::msi {
namespace {

TEST(StreamNameTest, FoldsPairsSinglesAndTables) {
  // "Bi" pairs, "n." pairs ..., a lone last character takes a unit of its own.
  EXPECT_EQ(EncodeStreamName("ab", false), std::u16string(1, char16_t(0x3800 + 36 + (37 << 6))));
  EXPECT_EQ(EncodeStreamName("a", false), std::u16string(1, char16_t(0x4800 + 36)));
  EXPECT_EQ(EncodeStreamName("_.", true),
            (std::u16string{char16_t(0x4840), char16_t(0x3800 + 63 + (62 << 6))}));
  // Characters outside the folding set stay as they are and break pairs.
  EXPECT_EQ(EncodeStreamName("a-b", false),
            (std::u16string{char16_t(0x4800 + 36), u'-', char16_t(0x4800 + 37)}));
}

TEST(StreamNameTest, DecodesWhatItEncodes) {
  for (const char* name : {"Property", "Binary.Banner_1", "a", "x-y z", "Ünïcode€", "_Tables"}) {
    for (bool table : {false, true}) {
      const DecodedStreamName decoded = DecodeStreamName(EncodeStreamName(name, table));
      EXPECT_EQ(decoded.name, name);
      EXPECT_EQ(decoded.is_table, table);
    }
  }
}

TEST(StreamNameTest, UnfoldedNamesComeBackUnchanged) {
  const DecodedStreamName decoded = DecodeStreamName(u"\005SummaryInformation");
  EXPECT_EQ(decoded.name, "\005SummaryInformation");
  EXPECT_FALSE(decoded.is_table);
  EXPECT_EQ(DecodeStreamName(std::u16string(1, char16_t(0xD800))).name, "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace kb::msi
