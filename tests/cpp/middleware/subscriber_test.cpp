#include "middleware/subscriber.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "messages/rpc_codec.hpp"
#include "middleware/shared_session.hpp"
#include "middleware/zenoh/publisher.hpp"
#include "support/child_process.hpp"
#include "support/hex.hpp"
#include "support/wait.hpp"
#include "velmor/zenoh/z_exception.hpp"

namespace velmor::zenoh_mdw {
namespace {

using namespace std::chrono_literals;
using zenoh_msgs::qrk_msg::RPCRequest;

// The owner side of a subscriber: a callback that takes each message over
// under a lock and lends the same storage back.
struct Owner {
  std::mutex mutex;
  RPCRequest incoming;
  RPCRequest latest;
  int calls = 0;

  Subscriber<RPCRequest>::Callback Callback() {
    return [this](RPCRequest& fresh) -> RPCRequest& {
      std::lock_guard<std::mutex> lock(mutex);
      std::swap(latest, fresh);
      ++calls;
      return fresh;
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
  Subscriber<RPCRequest> subscriber(session, owner.incoming, owner.Callback(), key);
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

TEST(SubscriberTest, EveryMessageIsHandedOverWholeAndItsStorageReused) {
  auto session = SharedSession();
  const std::string key = "velmor/test/sub/hand_over";
  std::vector<RPCRequest> seen;
  std::vector<const std::uint16_t*> storage;
  RPCRequest target;
  Subscriber<RPCRequest> subscriber(
      session, target,
      [&](RPCRequest& fresh) -> RPCRequest& {
        seen.push_back(fresh);
        storage.push_back(fresh.joint_groups.data());
        return fresh;
      },
      key);
  zenoh::Publisher publisher(*session, zenoh::KeyExpr(key));
  // Local delivery is inline: each put returns after the handler ran.
  publisher.put(Payload(7, {1, 2, 3}));
  publisher.put(Payload(8, {4}));
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].request_id, 8);
  EXPECT_EQ(seen[1].joint_groups, std::vector<std::uint16_t>{4});
  EXPECT_EQ(storage[0], storage[1]) << "the next sample must be decoded into the same storage";

  // An empty callback throws inside the handler; nothing reaches zenoh.
  RPCRequest unused;
  Subscriber<RPCRequest> empty(session, unused, Subscriber<RPCRequest>::Callback(), key);
  publisher.put(Payload(9, {}));
  EXPECT_EQ(seen.size(), 3u);
}

TEST(SubscriberTest, DestructionStopsWritesEvenWithSamplesInFlight) {
  const std::string key = "velmor/test/sub/destruction";
  test::ChildProcess peer({test::TestPeerPath(), "publish", key, test::ToHex(Payload(3, {1})), "1", "20000"});
  ASSERT_EQ(peer.ReadLine(10s), "ready");
  auto session = SharedSession();
  for (int round = 0; round < 5; ++round) {
    auto owner = std::make_unique<Owner>();
    {
      Subscriber<RPCRequest> subscriber(session, owner->incoming, owner->Callback(), key);
      ASSERT_TRUE(test::WaitUntil([&] { return owner->Calls() >= 3; }, 15s));
    }
    const int calls = owner->Calls();
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(owner->Calls(), calls) << "callback ran after the subscriber was destroyed";
    owner.reset();  // freeing what the callback touches must be safe now (ASan checks)
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
  std::unique_ptr<Subscriber<RPCRequest>> subscriber;
  std::atomic<bool> armed{false};
  std::atomic<bool> undeclared{false};
  std::atomic<bool> first_call{true};
  RPCRequest target;
  subscriber = std::make_unique<Subscriber<RPCRequest>>(
      session, target,
      [&](RPCRequest& fresh) -> RPCRequest& {
        if (!armed.load() || !first_call.exchange(false)) return fresh;
        std::this_thread::sleep_for(300ms);  // both publishers put meanwhile
        subscriber.reset();
        undeclared.store(true);
        return fresh;
      },
      key);
  armed.store(true);
  EXPECT_TRUE(test::WaitUntil([&] { return undeclared.load(); }, 15s)) << "undeclare inside the callback hung";
}

TEST(SubscriberTest, RejectedKeyThrowsWithTheKeyInTheMessage) {
  try {
    RPCRequest target;
    Subscriber<RPCRequest> subscriber(
        SharedSession(), target, [](RPCRequest& fresh) -> RPCRequest& { return fresh; },
        "velmor/robot/A#1/basic_stream_data");
    FAIL() << "declared a subscriber on an invalid key";
  } catch (const zenoh::ZException& error) {
    EXPECT_EQ(std::string(error.what()),
              "Failed to construct KeyExpr from: velmor/robot/A#1/basic_stream_data(Error code: -1 )");
  }
}

}  // namespace
}  // namespace velmor::zenoh_mdw
