// The request encoder and reply decoder of the remote procedures.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "messages/rpc_codec.hpp"
#include "tests/cpp/messages/codec_test_support.hpp"

namespace {

namespace zenoh = velmor::zenoh;

using namespace velmor::zenoh_msgs;
using qrk_msg::RPCReply;
using qrk_msg::RPCRequest;
using namespace test;
using zenoh::Z_EDESERIALIZE;

RPCReply FullReply() {
  RPCReply r;
  r.request_id = 9;
  r.success = true;
  r.joint_groups = {0, 2, 5};
  r.int_container = {-1, 0, 2147483647};
  r.string_container = {"v2.1", "", "jointGroup: ARM_1"};
  r.float_container = {0.5f, -0.0f, 3.25f};
  r.float2d_container = {{1.0f, 2.0f}, {}, {-3.5f}};
  return r;
}

TEST(RpcMessages, RequestsEncodeAsNumberThenJointGroups) {
  // One literal per wire field.
  // clang-format off
  EXPECT_EQ(ToHex(Encode(RPCRequest{10, {0, 2, 3, 4, 5}})), "0a00" "05" "0000" "0200" "0300" "0400" "0500");
  // clang-format on
  for (const std::uint16_t id : {0, 1, 3, 4, 9}) {
    EXPECT_EQ(Encode(RPCRequest{id, {}}), (Bytes{static_cast<std::uint8_t>(id), 0, 0})) << id;
  }
}

TEST(RpcMessages, RoundTripsKeepEveryField) {
  const RPCReply reply = FullReply();
  EXPECT_TRUE(SameValue(Decode<RPCReply>(Encode(reply)), reply));
  const RPCRequest request{10, {0, 2, 3, 4, 5}};
  EXPECT_TRUE(SameValue(Decode<RPCRequest>(Encode(request)), request));
}

TEST(RpcMessages, AllEmptyReplyDecodesToDefault) {
  // One literal per wire field.
  // clang-format off
  const RPCReply reply = Decode<RPCReply>(FromHex("0000" "00" "00" "00" "00" "00" "00"));
  // clang-format on
  EXPECT_TRUE(SameValue(reply, RPCReply{}));
  EXPECT_FALSE(reply.success);
}

TEST(RpcMessages, JointGroupsAreUnsignedSixteenBit) {
  // One literal per wire field.
  // clang-format off
  const RPCReply reply = Decode<RPCReply>(FromHex("0a00" "01" "02" "ffff" "0100" "00" "00" "00" "00"));
  // clang-format on
  ASSERT_EQ(reply.joint_groups.size(), 2u);
  EXPECT_EQ(static_cast<std::int32_t>(reply.joint_groups[0]), 65535);
  EXPECT_EQ(reply.joint_groups[1], 1);
}

TEST(RpcMessages, MalformedRepliesAreRejectedWhole) {
  Bytes surplus = Encode(FullReply());
  surplus.push_back(0);
  EXPECT_TRUE(ThrowsZ([&] { Decode<RPCReply>(surplus); },
                      "Payload contains more bytes than required for deserialization", Z_EDESERIALIZE));

  const Bytes full = Encode(FullReply());
  // The last two bytes belong to the float -3.5 inside float2d_container.
  EXPECT_TRUE(
      ThrowsZ([&] { Decode<RPCReply>(full.data(), full.size() - 2); }, "Deserialization failure", Z_EDESERIALIZE));
  for (std::size_t size = 0; size < full.size(); ++size) {
    EXPECT_THROW(Decode<RPCReply>(full.data(), size), zenoh::ZException) << size;
  }

  // success must be a zenoh bool.
  // One literal per wire field.
  // clang-format off
  EXPECT_TRUE(ThrowsZ([] { Decode<RPCReply>(FromHex("0000" "02" "00" "00" "00" "00" "00")); },
                      "Deserialization failure", Z_EDESERIALIZE));
  // clang-format on
}

}  // namespace
