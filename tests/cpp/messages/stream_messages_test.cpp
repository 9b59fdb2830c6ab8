// Decoding of the two stream messages: layout rules, rejected payloads and
// faithful round trips (uninterpreted fields included).
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "messages/stream_codec.hpp"
#include "tests/cpp/messages/codec_test_support.hpp"

namespace {

namespace zenoh = velmor::zenoh;

using namespace velmor::zenoh_msgs;
using qrk_msg::AllBasicStreamData;
using qrk_msg::AllExtraStreamData;
using test::Bytes;
using test::SameValue;
using test::ThrowsZ;
using zenoh::Z_EDESERIALIZE;

constexpr char kSurplus[] = "Payload contains more bytes than required for deserialization";

// Gives every float of a record a distinct value, so that a field read into
// the wrong place or not copied shows up.
struct DistinctFiller {
  float next = 0.5f;
  void operator()(float& f) { f = next += 1.25f; }
  template <std::size_t N>
  void operator()(std::array<float, N>& a) {
    for (float& f : a) (*this)(f);
  }
  template <class T>
  void operator()(std::vector<T>& v) {
    for (T& e : v) (*this)(e);
  }
  template <class T>
  std::enable_if_t<kIsRecord<T>> operator()(T& record) {
    ForEachField(record, *this);
  }
};

AllBasicStreamData SampleBasic(std::size_t joints, std::vector<std::uint16_t> groups, std::size_t cartesian) {
  AllBasicStreamData m;
  m.status.aux_u16 = 65535;
  m.status.aux_i16 = -32768;
  m.status.estop_released = true;
  m.status.enabling_device_on = true;
  m.status.aux_flags[7] = true;
  m.status.digital_inputs[0] = m.status.digital_inputs[19] = true;
  m.status.digital_outputs[10] = true;
  m.group_indices = std::move(groups);
  ForEachField(m.joint_data, [joints](auto& v) { v.resize(joints); });
  m.joint_data.aux_vec3_b.resize(joints + 1);
  m.cartesian_data.resize(cartesian);
  DistinctFiller fill;
  fill(m.joint_data);
  fill(m.cartesian_data);
  m.timestamp_first = -5;
  m.timestamp_second = 4294967295u;
  return m;
}

AllExtraStreamData SampleExtra(std::size_t joints, std::vector<std::uint16_t> groups) {
  AllExtraStreamData m;
  m.joint_data.q_d.resize(joints);
  m.joint_data.dq_d.resize(joints + 2);
  m.joint_data.tau_d.resize(joints);
  m.cartesian_data.resize(groups.size());
  m.group_indices = std::move(groups);
  DistinctFiller fill;
  fill(m.joint_data);
  fill(m.cartesian_data);
  return m;
}

TEST(StreamMessages, RoundTripsKeepEveryFieldIncludingUninterpretedOnes) {
  const AllBasicStreamData basic = SampleBasic(16, {0, 2, 3, 4, 5}, 5);
  const AllBasicStreamData basic_back = Decode<AllBasicStreamData>(Encode(basic));
  EXPECT_TRUE(SameValue(basic_back, basic));
  EXPECT_EQ(basic_back.timestamp_second, 4294967295u);

  const AllExtraStreamData extra = SampleExtra(7, {0, 3});
  EXPECT_TRUE(SameValue(Decode<AllExtraStreamData>(Encode(extra)), extra));
}

TEST(StreamMessages, EmptyMessagesDecodeToDefaults) {
  const AllBasicStreamData basic = Decode<AllBasicStreamData>(Encode(AllBasicStreamData{}));
  EXPECT_TRUE(SameValue(basic, AllBasicStreamData{}));
  EXPECT_TRUE(basic.group_indices.empty());
  EXPECT_TRUE(basic.cartesian_data.empty());
  EXPECT_TRUE(SameValue(Decode<AllExtraStreamData>(Encode(AllExtraStreamData{})), AllExtraStreamData{}));
}

// Consistency between fields is the stream intake's business, not the decoder's.
TEST(StreamMessages, GroupAndCartesianCountsMayDisagree) {
  const AllBasicStreamData basic = SampleBasic(2, {0, 3}, 1);
  const AllBasicStreamData back = Decode<AllBasicStreamData>(Encode(basic));
  EXPECT_EQ(back.group_indices.size(), 2u);
  EXPECT_EQ(back.cartesian_data.size(), 1u);
}

TEST(StreamMessages, FixedArraysAnnouncingAnotherLengthAreRejected) {
  // Status: aux_u16, aux_i16, two bools, aux_flags (length + 8), then digital_inputs.
  constexpr std::size_t kDigitalInputsLength = 2 + 2 + 1 + 1 + 1 + 8;
  for (const std::uint8_t announced : {16, 21}) {
    Bytes bytes = Encode(AllBasicStreamData{});
    ASSERT_EQ(bytes[kDigitalInputsLength], 20);
    bytes[kDigitalInputsLength] = announced;
    EXPECT_TRUE(ThrowsZ([&] { Decode<AllBasicStreamData>(bytes); }, "Incorrect sequence size", Z_EDESERIALIZE))
        << int{announced};
  }

  // tcp_pose with 6 entries (the elements shortened to match): after the
  // status (57 bytes), empty group_indices, nine + two empty joint vectors,
  // the cartesian count and flange_pose (length + 7 floats).
  constexpr std::size_t kTcpPoseLength = 57 + 1 + 11 + 1 + (1 + 7 * 4);
  AllBasicStreamData one_group;
  one_group.cartesian_data.resize(1);
  Bytes bytes = Encode(one_group);
  ASSERT_EQ(bytes[kTcpPoseLength], 7);
  ASSERT_EQ(bytes[kTcpPoseLength + 1 + 7 * 4], 6);  // tcp_twist follows
  bytes[kTcpPoseLength] = 6;
  bytes.erase(bytes.begin() + kTcpPoseLength + 1, bytes.begin() + kTcpPoseLength + 5);
  EXPECT_TRUE(ThrowsZ([&] { Decode<AllBasicStreamData>(bytes); }, "Incorrect sequence size", Z_EDESERIALIZE));
}

TEST(StreamMessages, StatusBoolOtherThanZeroOrOneIsRejected) {
  constexpr std::size_t kEstopReleased = 4;
  Bytes bytes = Encode(AllBasicStreamData{});
  bytes[kEstopReleased] = 2;
  EXPECT_TRUE(ThrowsZ([&] { Decode<AllBasicStreamData>(bytes); }, "Deserialization failure", Z_EDESERIALIZE));
}

TEST(StreamMessages, TrailingByteIsRejected) {
  Bytes extra = Encode(SampleExtra(3, {2}));
  extra.push_back(0);
  EXPECT_TRUE(ThrowsZ([&] { Decode<AllExtraStreamData>(extra); }, kSurplus, Z_EDESERIALIZE));
  Bytes basic = Encode(SampleBasic(3, {2}, 1));
  basic.push_back(0);
  EXPECT_TRUE(ThrowsZ([&] { Decode<AllBasicStreamData>(basic); }, kSurplus, Z_EDESERIALIZE));
}

TEST(StreamMessages, EveryTruncationFails) {
  const Bytes basic = Encode(SampleBasic(3, {0, 3}, 2));
  for (std::size_t size = 0; size < basic.size(); ++size) {
    EXPECT_THROW(Decode<AllBasicStreamData>(basic.data(), size), zenoh::ZException) << size;
  }
  const Bytes extra = Encode(SampleExtra(3, {0, 3}));
  for (std::size_t size = 0; size < extra.size(); ++size) {
    EXPECT_THROW(Decode<AllExtraStreamData>(extra.data(), size), zenoh::ZException) << size;
  }
  // Cut in the middle of the last float of the nested Cartesian record.
  const std::size_t inside_raw_ft_sensor = basic.size() - 8 - 2;
  EXPECT_TRUE(ThrowsZ([&] { Decode<AllBasicStreamData>(basic.data(), inside_raw_ft_sensor); },
                      "Deserialization failure", Z_EDESERIALIZE));
  EXPECT_TRUE(ThrowsZ([] { Decode<AllBasicStreamData>(nullptr, 0); }, "Deserialization failure", Z_EDESERIALIZE));
}

// A reused scratch message must end up equal to the new payload, with nothing
// left over from the larger message decoded before it.
TEST(StreamMessages, DecodeIntoLeavesNothingOfThePreviousMessage) {
  AllBasicStreamData scratch;
  DecodeInto(scratch, Encode(SampleBasic(16, {0, 2, 3, 4, 5}, 5)).data(),
             Encode(SampleBasic(16, {0, 2, 3, 4, 5}, 5)).size());
  AllBasicStreamData smaller = SampleBasic(2, {3}, 1);
  smaller.status = {};
  const Bytes bytes = Encode(smaller);
  DecodeInto(scratch, bytes.data(), bytes.size());
  EXPECT_TRUE(SameValue(scratch, smaller));
}

}  // namespace
