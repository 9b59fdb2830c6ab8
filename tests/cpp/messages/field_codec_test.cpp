// Framing of the field kinds: sequence and fixed-array rules, the failure
// texts and codes, the guard against hostile lengths, and the writers.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "messages/field_readers.hpp"
#include "messages/field_writers.hpp"
#include "messages/message_codec.hpp"
#include "messages/rpc_messages.hpp"
#include "messages/stream_messages.hpp"
#include "tests/cpp/messages/codec_test_support.hpp"

// Allocation probe: records the largest single request so that a test can
// show that a decoder never allocated from an untrusted length. ThreadSanitizer
// owns operator new itself; under it the probe stays at 0 and the bounds are
// checked by the other builds.
namespace {

namespace zenoh = velmor::zenoh;
std::atomic<std::size_t> g_largest_allocation{0};
}  // namespace

#include "middleware/zenoh/handoff.hpp"  // VELMOR_TSAN
#ifndef VELMOR_TSAN
#if defined(__GNUC__) && !defined(__clang__)
// The replacements pair malloc with free themselves; GCC cannot see that.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) {
  std::size_t seen = g_largest_allocation.load(std::memory_order_relaxed);
  while (size > seen && !g_largest_allocation.compare_exchange_weak(seen, size)) {
  }
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif  // VELMOR_TSAN

namespace {

using namespace velmor::zenoh_msgs;
using test::Bytes;
using test::FromHex;
using test::SameValue;
using test::ThrowsZ;
using test::ToHex;
using zenoh::Z_EDESERIALIZE;

template <class T>
Bytes Encoded(const T& value) {
  zenoh::ext::Serializer s;
  Write(s, value);
  return s.finish();
}

TEST(FieldReaders, ScalarAndLengthFailuresCarryTheirTextsAndZenohCode) {
  EXPECT_TRUE(ThrowsZ([] { Decode<float>(FromHex("0000c0")); }, "Deserialization failure", Z_EDESERIALIZE));
  EXPECT_TRUE(ThrowsZ([] { Decode<bool>(FromHex("02")); }, "Deserialization failure", Z_EDESERIALIZE));
  EXPECT_TRUE(ThrowsZ([] { Decode<std::string>(FromHex("0361")); }, "Deserialization failure", Z_EDESERIALIZE));
  EXPECT_TRUE(ThrowsZ([] { Decode<std::vector<float>>(Bytes{}); },
                      "Deserialization failure:: Failed to read sequence length", Z_EDESERIALIZE));
  EXPECT_TRUE(ThrowsZ([] { Decode<std::array<float, 3>>(FromHex("80")); },
                      "Deserialization failure:: Failed to read sequence length", Z_EDESERIALIZE));
  // The message of a failing element, not of the sequence, ends the read.
  EXPECT_TRUE(
      ThrowsZ([] { Decode<std::vector<bool>>(FromHex("030100ff")); }, "Deserialization failure", Z_EDESERIALIZE));
  EXPECT_TRUE(ThrowsZ([] { Decode<std::vector<float>>(FromHex("000000")); },
                      "Payload contains more bytes than required for deserialization", Z_EDESERIALIZE));
}

TEST(FieldReaders, FixedArrayRejectsAnotherLengthBeforeReadingAnyElement) {
  for (const std::size_t announced : {0u, 6u, 8u, 128u}) {
    zenoh::ext::Serializer s;
    s.serialize_sequence_length(announced);
    for (std::size_t i = 0; i < announced; ++i) s.serialize_float(9.0f);
    const Bytes bytes = s.finish();
    const std::size_t length_bytes = announced < 128 ? 1 : 2;

    zenoh::ext::Deserializer d(bytes.data(), bytes.size());
    std::array<float, 7> out{1, 1, 1, 1, 1, 1, 1};
    EXPECT_TRUE(ThrowsZ([&] { Read(d, out); }, "Incorrect sequence size", Z_EDESERIALIZE)) << announced;
    EXPECT_EQ(d.remaining(), bytes.size() - length_bytes) << announced;
    EXPECT_TRUE(SameValue(out, std::array<float, 7>{1, 1, 1, 1, 1, 1, 1})) << announced;
  }
}

TEST(FieldReaders, EmptyVectorConsumesOnlyItsLength) {
  const Bytes bytes = FromHex("00ff");
  zenoh::ext::Deserializer d(bytes.data(), bytes.size());
  std::vector<std::string> out{"stale"};
  Read(d, out);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(d.remaining(), 1u);
}

// A length that fits the remaining bytes exactly must still be accepted: the
// lower bound per element must never exceed the real smallest encoding.
TEST(FieldReaders, VectorsFillingThePayloadExactlyDecode) {
  const std::vector<std::string> strings(5);
  const std::vector<std::vector<float>> nested(4);
  const std::vector<std::array<float, 3>> triples(3);
  const std::vector<qrk_msg::CartesianStateData> states(2);
  const std::vector<qrk_msg::CartesianDesiredData> desired(3);
  const std::vector<std::int32_t> ints{1, -2};
  const std::vector<std::uint16_t> groups{0, 65535};
  EXPECT_TRUE(SameValue(Decode<std::vector<std::string>>(Encoded(strings)), strings));
  EXPECT_TRUE(SameValue(Decode<std::vector<std::vector<float>>>(Encoded(nested)), nested));
  EXPECT_TRUE(SameValue(Decode<std::vector<std::array<float, 3>>>(Encoded(triples)), triples));
  EXPECT_TRUE(SameValue(Decode<std::vector<qrk_msg::CartesianStateData>>(Encoded(states)), states));
  EXPECT_TRUE(SameValue(Decode<std::vector<qrk_msg::CartesianDesiredData>>(Encoded(desired)), desired));
  EXPECT_TRUE(SameValue(Decode<std::vector<std::int32_t>>(Encoded(ints)), ints));
  EXPECT_TRUE(SameValue(Decode<std::vector<std::uint16_t>>(Encoded(groups)), groups));
}

// Decodes `head`, the sequence length `length`, then 64 zero bytes, and
// returns the failure; the probe shows that nothing near the announced
// count was allocated.
template <class T>
::testing::AssertionResult HostileLengthFails(std::size_t length, const std::string& operation,
                                              const Bytes& head = Bytes{}) {
  zenoh::ext::Serializer s;
  s.serialize_sequence_length(length);
  Bytes bytes = head;
  bytes.insert(bytes.end(), s.bytes().begin(), s.bytes().end());
  bytes.insert(bytes.end(), 64, 0);
  g_largest_allocation = 0;
  auto result = ThrowsZ([&] { Decode<T>(bytes); }, operation, Z_EDESERIALIZE);
  if (g_largest_allocation.load() >= 4096) {
    return ::testing::AssertionFailure() << "allocated " << g_largest_allocation.load() << " bytes for length "
                                         << length;
  }
  return result << " (length " << length << ")";
}

// A count larger than the payload can hold is read like a truncated payload:
// the first element that is not there fails with its own error. Counts no
// vector could ever hold fail as unreadable lengths.
TEST(FieldReaders, HostileLengthsFailWithoutAllocatingFromThem) {
  constexpr char kElement[] = "Deserialization failure";
  constexpr char kLength[] = "Deserialization failure:: Failed to read sequence length";
  for (const std::size_t length : {std::size_t{1} << 40, std::size_t{1} << 31}) {
    EXPECT_TRUE(HostileLengthFails<std::vector<float>>(length, kElement));
    EXPECT_TRUE(HostileLengthFails<std::vector<bool>>(length, kElement));
    EXPECT_TRUE(HostileLengthFails<std::vector<std::string>>(length, kElement));
    EXPECT_TRUE(HostileLengthFails<std::vector<std::vector<float>>>(length, kLength));
    EXPECT_TRUE(HostileLengthFails<std::vector<qrk_msg::CartesianStateData>>(length, "Incorrect sequence size"));
    // request_id 10 and success, then joint_groups.
    EXPECT_TRUE(HostileLengthFails<qrk_msg::RPCReply>(length, kElement, FromHex("0a0001")));
  }
  // One element more than the 64 bytes can hold.
  EXPECT_TRUE(HostileLengthFails<std::vector<float>>(17, kElement));
  EXPECT_TRUE(HostileLengthFails<std::vector<std::uint16_t>>(33, kElement));
  EXPECT_TRUE(HostileLengthFails<std::vector<std::string>>(65, kElement));
  EXPECT_TRUE(HostileLengthFails<std::vector<std::vector<float>>>(65, kLength));
  EXPECT_TRUE(HostileLengthFails<qrk_msg::RPCReply>(33, kElement, FromHex("0a0001")));
  // Beyond what any vector can hold.
  EXPECT_TRUE(HostileLengthFails<std::vector<float>>(std::size_t{1} << 63, kLength));
  EXPECT_TRUE(HostileLengthFails<std::vector<std::string>>(~std::size_t{0}, kLength));
}

// A payload may not decode into much more memory than its own size: a
// one-byte empty string is a 32-byte std::string, so a reply of nothing but
// empty strings or empty nested vectors would multiply itself. Such payloads
// are refused before their elements are allocated; texts of four bytes or
// more, whatever their number, and any short payload still decode.
TEST(FieldReaders, DecodedMemoryStaysWithinAFewTimesThePayload) {
  constexpr std::size_t kCount = 100'000;
  constexpr char kElement[] = "Deserialization failure";
  const auto refused_without_allocating = [&](auto decode) {
    g_largest_allocation = 0;
    auto result = ThrowsZ(decode, kElement, Z_EDESERIALIZE);
    EXPECT_LT(g_largest_allocation.load(), 4096u);
    return result;
  };
  const Bytes empty_strings = Encoded(std::vector<std::string>(kCount));
  EXPECT_TRUE(refused_without_allocating([&] { Decode<std::vector<std::string>>(empty_strings); }));
  const Bytes empty_vectors = Encoded(std::vector<std::vector<float>>(kCount));
  EXPECT_TRUE(refused_without_allocating([&] { Decode<std::vector<std::vector<float>>>(empty_vectors); }));
  qrk_msg::RPCReply amplifying;
  amplifying.request_id = 3;
  amplifying.success = true;
  amplifying.string_container.resize(kCount);
  const Bytes reply = Encoded(amplifying);
  EXPECT_TRUE(refused_without_allocating([&] { Decode<qrk_msg::RPCReply>(reply); }));

  const std::vector<std::string> texts(kCount, "a=12");
  EXPECT_EQ(Decode<std::vector<std::string>>(Encoded(texts)), texts);
  const std::vector<std::string> few(1000);
  EXPECT_EQ(Decode<std::vector<std::string>>(Encoded(few)), few);
}

// A vector reused across payloads (the subscriber's scratch message) grows to
// the announced count, not by the container's doubling, which would allocate
// up to twice what the payload can hold.
TEST(FieldReaders, ReusedVectorsGrowOnlyToTheAnnouncedCount) {
  const Bytes strings_payload = Encoded(std::vector<std::string>(81));
  const Bytes floats_payload = Encoded(std::vector<float>(81));
  std::vector<std::string> strings(80);
  std::vector<float> floats(80);
  g_largest_allocation = 0;
  DecodeInto(strings, strings_payload.data(), strings_payload.size());
  EXPECT_EQ(strings.size(), 81u);
  EXPECT_LE(g_largest_allocation.load(), 81 * sizeof(std::string));
  g_largest_allocation = 0;
  DecodeInto(floats, floats_payload.data(), floats_payload.size());
  EXPECT_EQ(floats.size(), 81u);
  EXPECT_LE(g_largest_allocation.load(), 81 * sizeof(float));
}

// Nesting is invisible on the wire: a record inside a record writes exactly
// the bytes of its fields written one after the other.
TEST(FieldWriters, NestedRecordsWriteTheSameBytesAsTheirFieldsFlat) {
  qrk_msg::AllExtraStreamData nested;
  nested.group_indices = {3};
  nested.joint_data.q_d = {1.0f, 2.0f};
  nested.joint_data.tau_d = {-1.0f};
  nested.cartesian_data.resize(1);
  nested.cartesian_data[0].tcp_pose_d[3] = 1.0f;
  nested.cartesian_data[0].tcp_wrench_d[5] = -0.5f;

  zenoh::ext::Serializer flat;
  Write(flat, nested.group_indices);
  Write(flat, nested.joint_data.q_d);
  Write(flat, nested.joint_data.dq_d);
  Write(flat, nested.joint_data.tau_d);
  flat.serialize_sequence_length(1);
  Write(flat, nested.cartesian_data[0].tcp_pose_d);
  Write(flat, nested.cartesian_data[0].tcp_twist_d);
  Write(flat, nested.cartesian_data[0].tcp_wrench_d);

  EXPECT_EQ(ToHex(Encoded(nested)), ToHex(flat.bytes()));
}

}  // namespace
