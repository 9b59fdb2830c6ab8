#include "middleware/subscriber.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "messages/rpc_codec.hpp"
#include "middleware/shared_session.hpp"
#include "middleware/zenoh/publisher.hpp"
#include "middleware/zenoh/z_exception.hpp"
#include "support/child_process.hpp"
#include "support/hex.hpp"
#include "support/wait.hpp"

namespace velmor::zenoh_mdw {
namespace {

using namespace std::chrono_literals;
using zenoh_msgs::qrk_msg::RPCRequest;

// The owner side of a subscriber: destination plus a callback that publishes
// it under a lock, the way the stream intake does.
struct Owner {
  std::mutex mutex;
  RPCRequest destination;
  RPCRequest latest;
  int calls = 0;

  std::function<void()> Callback() {
    return [this] {
      std::lock_guard<std::mutex> lock(mutex);
      latest = destination;
      ++calls;
    };
  }
  int Calls() {
    std::lock_guard<std::mutex> lock(mutex);
    return calls;
  }
  RPCRequest Latest() {
    std::lock_guard<std::mutex> lock(mutex);
    return latest;
  }
};

std::vector<std::uint8_t> Payload(std::uint16_t id, std::vector<std::uint16_t> groups) {
  return zenoh_msgs::Encode(RPCRequest{id, std::move(groups)});
}

TEST(SubscriberTest, GoodSampleAfterBadOnesReplacesTheDestination) {
  auto session = SharedSession();
  const std::string key = "velmor/test/sub/bad_then_good";
  Owner owner;
  Subscriber<RPCRequest> subscriber(session, owner.Callback(), owner.destination, key);
  zenoh::Publisher publisher(*session, zenoh::KeyExpr(key));

  publisher.put(Payload(1, {2, 3}));
  ASSERT_TRUE(test::WaitUntil([&] { return owner.Calls() == 1; }));

  auto surplus = Payload(9, {9});
  surplus.push_back(0);
  auto truncated = Payload(9, {9, 9});
  truncated.pop_back();
  publisher.put(surplus);
  publisher.put(truncated);
  publisher.put({});
  publisher.put(Payload(4, {5}));
  ASSERT_TRUE(test::WaitUntil([&] { return owner.Calls() == 2; }));
  EXPECT_EQ(owner.Latest().request_id, 4);
  EXPECT_EQ(owner.Latest().joint_groups, std::vector<std::uint16_t>{5});
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(owner.Calls(), 2) << "a bad sample must not call back";
}

TEST(SubscriberTest, EmptyCallbackStillUpdatesTheDestination) {
  auto session = SharedSession();
  const std::string key = "velmor/test/sub/empty_callback";
  RPCRequest destination;
  Subscriber<RPCRequest> subscriber(session, std::function<void()>(), destination, key);
  zenoh::Publisher publisher(*session, zenoh::KeyExpr(key));
  publisher.put(Payload(7, {}));
  // Local delivery is inline: the put above returned after the handler ran.
  EXPECT_EQ(destination.request_id, 7);
}

TEST(SubscriberTest, DestructionStopsWritesEvenWithSamplesInFlight) {
  const std::string key = "velmor/test/sub/destruction";
  test::ChildProcess peer({test::TestPeerPath(), "publish", key, test::ToHex(Payload(3, {1})), "1", "20000"});
  ASSERT_EQ(peer.ReadLine(10s), "ready");
  auto session = SharedSession();
  for (int round = 0; round < 5; ++round) {
    auto owner = std::make_unique<Owner>();
    {
      Subscriber<RPCRequest> subscriber(session, owner->Callback(), owner->destination, key);
      ASSERT_TRUE(test::WaitUntil([&] { return owner->Calls() >= 3; }, 15s));
    }
    const int calls = owner->Calls();
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(owner->Calls(), calls) << "callback ran after the subscriber was destroyed";
    owner.reset();  // freeing the destination must be safe now (ASan checks)
  }
}

// Two publishers make zenoh deliver on two threads: while the first sample's
// callback runs, the second one waits. Undeclaring from inside the first
// callback must then send the second away instead of waiting for it.
TEST(SubscriberTest, UndeclaringFromTheCallbackWhileAnotherSampleWaitsReturns) {
  const std::string key = "velmor/test/sub/undeclare_inside";
  const auto payload = test::ToHex(Payload(5, {2}));
  test::ChildProcess first({test::TestPeerPath(), "publish", key, payload, "100", "20000"});
  test::ChildProcess second({test::TestPeerPath(), "publish", key, payload, "100", "20000"});
  ASSERT_EQ(first.ReadLine(10s), "ready");
  ASSERT_EQ(second.ReadLine(10s), "ready");

  auto session = SharedSession();
  RPCRequest destination;
  std::unique_ptr<Subscriber<RPCRequest>> subscriber;
  std::atomic<bool> armed{false};
  std::atomic<bool> undeclared{false};
  std::atomic<bool> first_call{true};
  subscriber = std::make_unique<Subscriber<RPCRequest>>(
      session,
      [&] {
        if (!armed.load() || !first_call.exchange(false)) return;
        std::this_thread::sleep_for(300ms);  // both publishers put meanwhile
        subscriber.reset();
        undeclared.store(true);
      },
      destination, key);
  armed.store(true);
  EXPECT_TRUE(test::WaitUntil([&] { return undeclared.load(); }, 15s)) << "undeclare inside the callback hung";
}

TEST(SubscriberTest, RejectedKeyThrowsWithTheKeyInTheMessage) {
  RPCRequest destination;
  try {
    Subscriber<RPCRequest> subscriber(SharedSession(), [] {}, destination, "velmor/robot/A#1/basic_stream_data");
    FAIL() << "declared a subscriber on an invalid key";
  } catch (const zenoh::ZException& error) {
    EXPECT_EQ(std::string(error.what()),
              "Failed to construct KeyExpr from: velmor/robot/A#1/basic_stream_data(Error code: -1 )");
  }
}

}  // namespace
}  // namespace velmor::zenoh_mdw
