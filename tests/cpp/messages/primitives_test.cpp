// The zenoh-format primitives on their own: failure modes and the LEB128
// length rules. Exact bytes of every kind are also checked against zenoh's
// own serializer in zenoh_vectors_test.cpp.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "messages/deserializer.hpp"
#include "messages/serializer.hpp"
#include "tests/cpp/messages/codec_test_support.hpp"

namespace {

namespace zenoh = velmor::zenoh;

using velmor::zenoh_msgs::test::Bytes;
using velmor::zenoh_msgs::test::FromHex;
using velmor::zenoh_msgs::test::ToHex;
using zenoh::Z_EDESERIALIZE;
using zenoh::Z_OK;
using zenoh::ext::Deserializer;
using zenoh::ext::Serializer;

zenoh::ZResult ReadLength(const Bytes& bytes, std::size_t& out, std::size_t& remaining_after) {
  Deserializer d(bytes.data(), bytes.size());
  const zenoh::ZResult rc = d.deserialize_sequence_length(out);
  remaining_after = d.remaining();
  return rc;
}

TEST(Primitives, TruncatedFixedWidthReadsFailAndKeepThePosition) {
  const Bytes bytes = FromHex("010203");
  Deserializer d(bytes.data(), bytes.size());
  std::int32_t i32 = 7;
  std::uint32_t u32 = 7;
  float f = 7;
  EXPECT_EQ(d.deserialize_int32(i32), Z_EDESERIALIZE);
  EXPECT_EQ(d.deserialize_uint32(u32), Z_EDESERIALIZE);
  EXPECT_EQ(d.deserialize_float(f), Z_EDESERIALIZE);
  EXPECT_EQ(d.remaining(), 3u);
  EXPECT_EQ(i32, 7);

  std::uint16_t u16 = 0;
  std::int16_t i16 = 0;
  ASSERT_EQ(d.deserialize_uint16(u16), Z_OK);
  EXPECT_EQ(u16, 0x0201);
  EXPECT_EQ(d.deserialize_int16(i16), Z_EDESERIALIZE);
  EXPECT_EQ(d.remaining(), 1u);
  EXPECT_FALSE(d.is_done());

  Deserializer empty(nullptr, 0);
  bool b = false;
  EXPECT_TRUE(empty.is_done());
  EXPECT_EQ(empty.deserialize_bool(b), Z_EDESERIALIZE);
}

TEST(Primitives, BoolAcceptsOnlyZeroAndOne) {
  const Bytes bytes = FromHex("0001");
  Deserializer d(bytes.data(), bytes.size());
  bool b = true;
  ASSERT_EQ(d.deserialize_bool(b), Z_OK);
  EXPECT_FALSE(b);
  ASSERT_EQ(d.deserialize_bool(b), Z_OK);
  EXPECT_TRUE(b);

  for (const char* hex : {"02", "ff", "80"}) {
    const Bytes bad = FromHex(hex);
    Deserializer single(bad.data(), bad.size());
    EXPECT_EQ(single.deserialize_bool(b), Z_EDESERIALIZE) << hex;
    bool many[2] = {};
    const Bytes bad_second = FromHex(std::string("01") + hex);
    Deserializer bulk(bad_second.data(), bad_second.size());
    EXPECT_EQ(bulk.deserialize_bools(many, 2), Z_EDESERIALIZE) << hex;
    EXPECT_EQ(bulk.remaining(), 2u);
  }
}

TEST(Primitives, SequenceLengthIsMinimalLeb128OnWrite) {
  const std::pair<std::size_t, const char*> cases[] = {
      {0, "00"},
      {16383, "ff7f"},
      {16384, "808001"},
      {std::numeric_limits<std::uint32_t>::max(), "ffffffff0f"},
      {std::numeric_limits<std::size_t>::max(), "ffffffffffffffffff01"},
  };
  for (const auto& [value, hex] : cases) {
    Serializer s;
    ASSERT_EQ(s.serialize_sequence_length(value), Z_OK);
    EXPECT_EQ(ToHex(s.bytes()), hex) << value;
    std::size_t back = 0;
    std::size_t remaining = 1;
    ASSERT_EQ(ReadLength(s.bytes(), back, remaining), Z_OK) << hex;
    EXPECT_EQ(back, value);
    EXPECT_EQ(remaining, 0u);
  }
}

TEST(Primitives, SequenceLengthReaderAcceptsNonMinimalFormsUpToTenBytes) {
  const std::pair<const char*, std::size_t> accepted[] = {
      {"8000", 0},
      {"ff8000", 127},
      {"8080808080808080800001", 0},  // ten bytes, then one byte that is not part of the length
      {"81808080808080808000", 1},
  };
  for (const auto& [hex, value] : accepted) {
    const Bytes bytes = FromHex(hex);
    std::size_t out = 99;
    std::size_t remaining = 0;
    ASSERT_EQ(ReadLength(bytes, out, remaining), Z_OK) << hex;
    EXPECT_EQ(out, value) << hex;
    EXPECT_EQ(bytes.size() - remaining, std::min<std::size_t>(bytes.size(), 10)) << hex;
  }
}

TEST(Primitives, SequenceLengthReaderRejectsOverlongOverflowingAndTruncatedForms) {
  for (const char* hex : {
           "8080808080808080808000",  // eleven bytes
           "ffffffffffffffffff02",    // tenth byte sets bit 64
           "ffffffffffffffffff81",    // tenth byte continues
           "80",                      // continuation with nothing after it
           "ffff",
           "",
       }) {
    const Bytes bytes = FromHex(hex);
    std::size_t out = 99;
    std::size_t remaining = 0;
    EXPECT_EQ(ReadLength(bytes, out, remaining), Z_EDESERIALIZE) << hex;
    EXPECT_EQ(remaining, bytes.size()) << hex;
    EXPECT_EQ(out, 99u) << hex;
  }
}

TEST(Primitives, StringsAreCopiedVerbatimAndBoundedByThePayload) {
  // Bytes that are not UTF-8, and an embedded NUL, pass through unchanged.
  const Bytes bytes = FromHex("04ff00fe41");
  Deserializer d(bytes.data(), bytes.size());
  std::string text;
  ASSERT_EQ(d.deserialize_string(text), Z_OK);
  EXPECT_EQ(text, std::string("\xff\0\xfe"
                              "A",
                              4));
  EXPECT_TRUE(d.is_done());

  const Bytes short_payload = FromHex("05616263");
  Deserializer cut(short_payload.data(), short_payload.size());
  EXPECT_EQ(cut.deserialize_string(text), Z_EDESERIALIZE);
  EXPECT_EQ(cut.remaining(), short_payload.size());

  // A length near 2^64 must fail, not try to allocate.
  const Bytes huge = FromHex("ffffffffffffffff7f41");
  Deserializer hostile(huge.data(), huge.size());
  EXPECT_EQ(hostile.deserialize_string(text), Z_EDESERIALIZE);
}

TEST(Primitives, BulkReadsRejectCountsBeyondThePayloadWithoutOverflow) {
  const Bytes bytes = FromHex("0000803f00000040");
  Deserializer d(bytes.data(), bytes.size());
  // Room for every count tried, so that even the refused reads stay in bounds.
  std::vector<float> out(4);
  const std::size_t wrapping = std::numeric_limits<std::size_t>::max() / 2 + 2;  // 4 * count wraps to 6
  EXPECT_EQ(d.deserialize_scalars(out.data(), wrapping), Z_EDESERIALIZE);
  EXPECT_EQ(d.deserialize_scalars(out.data(), 3), Z_EDESERIALIZE);
  ASSERT_EQ(d.deserialize_scalars(out.data(), 2), Z_OK);
  EXPECT_EQ(out[0], 1.0f);
  EXPECT_EQ(out[1], 2.0f);
  EXPECT_TRUE(d.is_done());
}

}  // namespace
