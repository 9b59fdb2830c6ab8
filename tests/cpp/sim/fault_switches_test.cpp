#include "sim/fault_switches.hpp"

#include <gtest/gtest.h>

#include <memory>

#include "messages/rpc_codec.hpp"
#include "messages/stream_codec.hpp"
#include "sim/holding_pen.hpp"
#include "sim/robot_model.hpp"
#include "sim/rpc_responder.hpp"
#include "velmor/zenoh/z_exception.hpp"

namespace velmor::sim {
namespace {

namespace msg = zenoh_msgs::qrk_msg;

template <class T>
void ExpectNeverDecodes(const std::vector<std::uint8_t>& valid) {
  ASSERT_NO_THROW(zenoh_msgs::Decode<T>(valid));
  for (std::uint64_t n = 0; n < 600; ++n) {
    const auto garbled = GarblePayload(valid, n);
    EXPECT_NE(garbled, valid);
    EXPECT_THROW(zenoh_msgs::Decode<T>(garbled), zenoh::ZException) << "n = " << n;
  }
}

TEST(GarblePayload, NoDecoderAcceptsWhatItMakes) {
  const RobotModel model({0, 2, 3, 4, 5}, 0);
  ExpectNeverDecodes<msg::AllBasicStreamData>(zenoh_msgs::Encode(model.Basic(2.5, 9)));
  ExpectNeverDecodes<msg::AllExtraStreamData>(zenoh_msgs::Encode(model.Extra(2.5)));
  // The smallest messages are the hardest to spoil: an all-zero extra message is valid.
  ExpectNeverDecodes<msg::AllExtraStreamData>(zenoh_msgs::Encode(msg::AllExtraStreamData{}));
  RpcResponder responder(ResponderSettings{});
  ExpectNeverDecodes<msg::RPCReply>(zenoh_msgs::Encode(responder.Answer({0, {}}, 0.0)));
  ExpectNeverDecodes<msg::RPCReply>(zenoh_msgs::Encode(responder.Answer({1, {}}, 0.0)));
}

using Pen = HoldingPen<std::shared_ptr<int>>;
using std::chrono::seconds;

TEST(HoldingPen, LetsItemsGoOnlyAfterTheHoldTime) {
  Pen pen(seconds(5), 100);
  const auto start = Pen::Clock::time_point{} + seconds(1000);
  auto first = std::make_shared<int>(1);
  auto second = std::make_shared<int>(2);
  const std::weak_ptr<int> first_watch = first;
  const std::weak_ptr<int> second_watch = second;
  pen.Hold(std::move(first), start);
  pen.Hold(std::move(second), start + seconds(2));

  EXPECT_EQ(pen.ReleaseExpired(start + seconds(4)), 0u);
  EXPECT_FALSE(first_watch.expired());
  EXPECT_EQ(pen.ReleaseExpired(start + seconds(5)), 1u);
  EXPECT_TRUE(first_watch.expired());
  EXPECT_FALSE(second_watch.expired());
  pen.Clear();
  EXPECT_TRUE(second_watch.expired());
  EXPECT_EQ(pen.size(), 0u);
}

TEST(HoldingPen, LetsTheOldestGoWhenFull) {
  Pen pen(seconds(5), 2);
  const auto now = Pen::Clock::time_point{} + seconds(1000);
  auto oldest = std::make_shared<int>(1);
  const std::weak_ptr<int> oldest_watch = oldest;
  pen.Hold(std::move(oldest), now);
  pen.Hold(std::make_shared<int>(2), now);
  pen.Hold(std::make_shared<int>(3), now);
  EXPECT_EQ(pen.size(), 2u);
  EXPECT_TRUE(oldest_watch.expired());
}

}  // namespace
}  // namespace velmor::sim
