#include "msi/db/string_pool.h"

#include <gtest/gtest.h>

#include "msi/db/byte_order.h"

namespace kb::msi {
namespace {

TEST(StringPoolTest, RoundTripsCountsHolesAndLongStrings) {
  StringPool pool;
  pool.set_code_page(1252);
  const std::string long_text(70000, 'x');
  EXPECT_EQ(pool.Intern("Property"), 1u);
  EXPECT_EQ(pool.Intern(long_text), 2u);
  EXPECT_EQ(pool.Intern("unused"), 3u);
  EXPECT_EQ(pool.Intern("Value"), 4u);
  EXPECT_EQ(pool.Intern("Property"), 1u);
  EXPECT_EQ(pool.Intern(""), 0u);

  const std::vector<std::uint32_t> counts = {0, 2, 1, 0, 3};
  const StringPool::Encoded encoded = pool.Encode(counts);
  // Header, then (length, count) words; the long string takes (0, high) (low, count).
  ASSERT_EQ(encoded.pool.size(), 4u + 5 * 4);
  EXPECT_EQ(ReadLittleEndian(encoded.pool, 0, 4), 1252u);
  EXPECT_EQ(encoded.data.size(), 8 + long_text.size() + 5);

  const auto decoded = StringPool::Decode(encoded.pool, encoded.data);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->code_page(), 1252);
  EXPECT_EQ(decoded->Get(1), "Property");
  EXPECT_EQ(decoded->Get(2), long_text);
  EXPECT_EQ(decoded->Get(3), "");  // nobody referenced it: written as an unused id
  EXPECT_EQ(decoded->Get(4), "Value");
  EXPECT_EQ(decoded->stored_ref_width(), 2u);

  StringPool reused = *decoded;
  EXPECT_EQ(reused.Intern("new"), 3u);  // the unused id is handed out again
  EXPECT_EQ(reused.Intern("newer"), 5u);
}

TEST(StringPoolTest, ReferencesWidenPastSixtyFiveThousandStrings) {
  StringPool pool;
  for (int i = 0; i < 65535; ++i) pool.Intern("s" + std::to_string(i));
  EXPECT_EQ(pool.RefWidthForWriting(), 2u);
  pool.Intern("one more");
  EXPECT_EQ(pool.RefWidthForWriting(), 3u);
  std::vector<std::uint32_t> counts(pool.size() + 1, 1);
  const StringPool::Encoded encoded = pool.Encode(counts);
  EXPECT_EQ(encoded.pool[3], std::byte{0x80});  // the long-reference flag of the header
  const auto decoded = StringPool::Decode(encoded.pool, encoded.data);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->stored_ref_width(), 3u);
  EXPECT_EQ(decoded->Get(65536), "one more");
}

TEST(StringPoolTest, RefusesStreamsThatDisagree) {
  StringPool pool;
  pool.Intern("abc");
  const StringPool::Encoded encoded = pool.Encode(std::vector<std::uint32_t>{0, 1});
  std::vector<std::byte> short_data(encoded.data.begin(), encoded.data.end() - 1);
  EXPECT_FALSE(StringPool::Decode(encoded.pool, short_data));
  std::vector<std::byte> extra_data = encoded.data;
  extra_data.push_back(std::byte{'x'});
  EXPECT_FALSE(StringPool::Decode(encoded.pool, extra_data));
  EXPECT_FALSE(StringPool::Decode(std::vector<std::byte>(3), {}));
}

}  // namespace
}  // namespace kb::msi
