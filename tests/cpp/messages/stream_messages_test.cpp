// Decoding of the two stream messages: layout rules, rejected payloads and
// faithful round trips (uninterpreted fields included); and the kept samples
// that read them in place, which must see and refuse exactly the same.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "messages/stream_codec.hpp"
#include "messages/stream_samples.hpp"
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

// What a kept sample reads in place, gathered into the decoder's message.
AllBasicStreamData ReadInPlace(const BasicSample& sample) {
  AllBasicStreamData m;
  m.status = Status(sample);
  const auto groups = GroupIndices(sample);
  for (std::size_t i = 0; i < groups.size(); ++i) m.group_indices.push_back(groups[i]);
  auto& j = m.joint_data;
  const std::pair<BasicRun, std::vector<float>*> joints[] = {{BasicRun::kQ, &j.q},
                                                             {BasicRun::kTheta, &j.theta},
                                                             {BasicRun::kDq, &j.dq},
                                                             {BasicRun::kDtheta, &j.dtheta},
                                                             {BasicRun::kTau, &j.tau},
                                                             {BasicRun::kTauDot, &j.tau_dot},
                                                             {BasicRun::kTauExt, &j.tau_ext},
                                                             {BasicRun::kTauInteract, &j.tau_interact},
                                                             {BasicRun::kTemperature, &j.temperature}};
  for (const auto& [run, field] : joints) {
    const auto values = Joints(sample, run);
    for (std::size_t i = 0; i < values.size(); ++i) field->push_back(values[i]);
  }
  for (const auto& [run, field] :
       {std::make_pair(BasicRun::kAuxVec3A, &j.aux_vec3_a), std::make_pair(BasicRun::kAuxVec3B, &j.aux_vec3_b)}) {
    const auto values = sample.Sequence<std::array<float, 3>>(static_cast<std::size_t>(run));
    for (std::size_t i = 0; i < values.size(); ++i) field->push_back(values[i]);
  }
  const auto cartesian = Cartesian(sample);
  for (std::size_t i = 0; i < cartesian.size(); ++i) m.cartesian_data.push_back(cartesian[i]);
  std::tie(m.timestamp_first, m.timestamp_second) = Timestamps(sample);
  return m;
}

AllExtraStreamData ReadInPlace(const ExtraSample& sample) {
  AllExtraStreamData m;
  const auto groups = GroupIndices(sample);
  for (std::size_t i = 0; i < groups.size(); ++i) m.group_indices.push_back(groups[i]);
  for (const auto& [run, field] :
       {std::make_pair(ExtraRun::kQd, &m.joint_data.q_d), std::make_pair(ExtraRun::kDqd, &m.joint_data.dq_d),
        std::make_pair(ExtraRun::kTaud, &m.joint_data.tau_d)}) {
    const auto values = Joints(sample, run);
    for (std::size_t i = 0; i < values.size(); ++i) field->push_back(values[i]);
  }
  const auto cartesian = Cartesian(sample);
  for (std::size_t i = 0; i < cartesian.size(); ++i) m.cartesian_data.push_back(cartesian[i]);
  return m;
}

// Byte 0 of `bytes` at `at`, which must hold `value` below 0x80, rewritten as
// the two-byte length 0x80 | value, 0x00: valid in the format, never written
// by zenoh's serializer.
Bytes WithLongLength(Bytes bytes, std::size_t at, std::uint8_t value) {
  EXPECT_EQ(bytes.at(at), value);
  bytes[at] = static_cast<std::uint8_t>(0x80 | value);
  bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at) + 1, 0x00);
  return bytes;
}

TEST(KeptSamples, ReadEveryFieldInPlaceAsTheDecoderDoes) {
  for (const AllBasicStreamData& message :
       {SampleBasic(16, {0, 2, 3, 4, 5}, 5), SampleBasic(3, {3}, 2), SampleBasic(0, {}, 0), AllBasicStreamData{}}) {
    BasicSample sample;
    const Bytes bytes = Encode(message);
    sample.Assign(bytes.data(), bytes.size());
    EXPECT_TRUE(SameValue(ReadInPlace(sample), message));
    EXPECT_TRUE(SameValue(sample.ToMessage(), message));
    EXPECT_EQ(sample.bytes(), bytes);
    EXPECT_EQ(StatusField(sample, &qrk_msg::StatusData::digital_outputs), message.status.digital_outputs);
    EXPECT_EQ(StatusField(sample, &qrk_msg::StatusData::enabling_device_on), message.status.enabling_device_on);
    EXPECT_EQ(StatusField(sample, &qrk_msg::StatusData::aux_i16), message.status.aux_i16);
  }
  for (const AllExtraStreamData& message : {SampleExtra(16, {2, 3, 4, 5}), SampleExtra(1, {}), AllExtraStreamData{}}) {
    ExtraSample sample;
    const Bytes bytes = Encode(message);
    sample.Assign(bytes.data(), bytes.size());
    EXPECT_TRUE(SameValue(ReadInPlace(sample), message));
  }
  EXPECT_TRUE(SameValue(ReadInPlace(BasicSample{}), AllBasicStreamData{})) << "a sample before any is empty";

  // Longer length encodings are valid. A sequence's is read where it stands;
  // with a fixed-size array's, the payload is kept re-encoded.
  const AllBasicStreamData message = SampleBasic(2, {3, 4}, 1);
  const Bytes canonical = Encode(message);
  constexpr std::size_t kGroupCount = 57;
  const std::size_t first_vec3 = kGroupCount + 1 + 2 * 2 + 9 * (1 + 2 * 4) + 1;
  const Bytes long_count = WithLongLength(canonical, kGroupCount, 2);
  const Bytes long_array = WithLongLength(canonical, first_vec3, 3);
  for (const auto& [payload, kept] : {std::make_pair(long_count, long_count), std::make_pair(long_array, canonical)}) {
    BasicSample sample;
    sample.Assign(payload.data(), payload.size());
    EXPECT_EQ(sample.bytes(), kept);
    EXPECT_TRUE(SameValue(ReadInPlace(sample), message));
  }
}

// The payload with the `length` floats of array at `at` (a length byte of 7)
// announced and present instead.
Bytes WithFloatArrayOf(Bytes bytes, std::size_t at, std::uint8_t length) {
  EXPECT_EQ(bytes.at(at), 7);
  bytes[at] = length;
  const auto floats_end = bytes.begin() + static_cast<std::ptrdiff_t>(at + 1 + 7 * 4);
  if (length < 7) {
    bytes.erase(floats_end - (7 - length) * 4, floats_end);
  } else {
    bytes.insert(floats_end, (length - 7) * 4, 0x3F);
  }
  return bytes;
}

// The payload with the single-byte length at `at` replaced by the long
// form of `count`.
Bytes WithLongCount(Bytes bytes, std::size_t at, std::uint16_t count) {
  EXPECT_LT(bytes.at(at), 0x80);
  bytes[at] = static_cast<std::uint8_t>(0x80 | (count & 0x7F));
  bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at) + 1, static_cast<std::uint8_t>(count >> 7));
  return bytes;
}

// Each payload is refused by a sample that keeps `kept`, with the decoder's
// own error text, and the sample's content stays that of `kept`.
template <class Message>
void ExpectRefusedAsByTheDecoder(const std::vector<Bytes>& refused, const Message& kept) {
  const Bytes kept_bytes = Encode(kept);
  WireMessage<Message> sample;
  sample.Assign(kept_bytes.data(), kept_bytes.size());
  for (const Bytes& payload : refused) {
    std::string expected;
    try {
      Decode<Message>(payload);
      ADD_FAILURE() << "the decoder accepted a payload of " << payload.size() << " bytes";
    } catch (const zenoh::ZException& e) {
      expected = e.what();
    }
    try {
      sample.Assign(payload.data(), payload.size());
      ADD_FAILURE() << "a sample accepted a payload of " << payload.size() << " bytes";
    } catch (const zenoh::ZException& e) {
      EXPECT_EQ(e.what(), expected) << payload.size() << " bytes";
    }
    EXPECT_EQ(sample.bytes(), kept_bytes);
    EXPECT_TRUE(SameValue(ReadInPlace(sample), kept));
  }
}

TEST(KeptSamples, RefuseExactlyWhatTheDecoderRefusesAndKeepTheirContent) {
  std::vector<Bytes> refused;
  const Bytes basic = Encode(SampleBasic(3, {0, 3}, 2));
  for (std::size_t size = 0; size < basic.size(); ++size) refused.emplace_back(basic.begin(), basic.begin() + size);
  Bytes longer = basic;
  longer.push_back(0);
  refused.push_back(longer);
  for (const std::size_t at : {4, 5, 7, 16, 40, 56}) {  // a bool of each status field, 2 instead of 0 or 1
    Bytes bad_bool = basic;
    bad_bool[at] = 2;
    refused.push_back(bad_bool);
  }
  for (const std::size_t fixed_length : {6, 15, 36}) {  // the status arrays' lengths
    Bytes wrong_length = basic;
    ++wrong_length[fixed_length];
    refused.push_back(wrong_length);
  }
  constexpr std::size_t kGroupCount = 57;
  const std::size_t first_vec3 = kGroupCount + 1 + 2 * 2 + 9 * (1 + 3 * 4) + 1;
  Bytes wrong_vec3 = basic;
  wrong_vec3[first_vec3 + 13] = 2;
  refused.push_back(wrong_vec3);
  Bytes endless_count = basic;
  endless_count[kGroupCount] = 0xFF;  // a group count that never ends
  refused.push_back(endless_count);
  // Three joints' aux_vec3_a, four joints' aux_vec3_b, the Cartesian count.
  const std::size_t first_flange_pose = first_vec3 + 3 * 13 + 1 + 4 * 13 + 1;
  refused.push_back(WithFloatArrayOf(basic, first_flange_pose, 6));
  refused.push_back(WithFloatArrayOf(basic, first_flange_pose, 8));
  refused.push_back(WithLongCount(basic, kGroupCount, 5000));
  ExpectRefusedAsByTheDecoder(refused, SampleBasic(16, {2, 3}, 2));

  refused.clear();
  const Bytes extra = Encode(SampleExtra(3, {0, 3}));
  for (std::size_t size = 0; size < extra.size(); ++size) refused.emplace_back(extra.begin(), extra.begin() + size);
  longer = extra;
  longer.push_back(0);
  refused.push_back(longer);
  // The groups, q_d, dq_d (two joints more) and tau_d, then the Cartesian count.
  const std::size_t first_tcp_pose_d = (1 + 2 * 2) + (1 + 3 * 4) + (1 + 5 * 4) + (1 + 3 * 4) + 1;
  refused.push_back(WithFloatArrayOf(extra, first_tcp_pose_d, 6));
  refused.push_back(WithFloatArrayOf(extra, first_tcp_pose_d, 8));
  refused.push_back(WithLongCount(extra, first_tcp_pose_d - 1, 5000));
  ExpectRefusedAsByTheDecoder(refused, SampleExtra(16, {2, 3}));
}

}  // namespace
