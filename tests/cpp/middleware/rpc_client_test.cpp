#include "middleware/rpc_client.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

#include "messages/rpc_codec.hpp"
#include "middleware/shared_session.hpp"
#include "middleware/zenoh/queryable.hpp"
#include "support/child_process.hpp"
#include "support/hex.hpp"
#include "support/log_capture.hpp"
#include "support/wait.hpp"

namespace velmor::zenoh_mdw {
namespace {

using namespace std::chrono_literals;
using zenoh_msgs::qrk_msg::RPCReply;
using zenoh_msgs::qrk_msg::RPCRequest;
using Client = RpcClient<RPCRequest, RPCReply>;
using Clock = std::chrono::steady_clock;
using velmor::test::SecondsSince;

std::vector<std::uint8_t> ReplyBytes(std::uint16_t id, std::string text) {
  RPCReply reply;
  reply.request_id = id;
  reply.success = true;
  reply.string_container = {std::move(text)};
  return zenoh_msgs::Encode(reply);
}

// An in-process queryable on the shared session that answers every query with
// what `answer` does.
class Server {
 public:
  Server(const std::string& key, std::function<void(const zenoh::Query&)> answer)
      : session_(SharedSession()), queryable_(*session_, zenoh::KeyExpr(key), std::move(answer)) {}

 private:
  std::shared_ptr<zenoh::Session> session_;
  zenoh::Queryable queryable_;
};

// Sends a request that must fail; returns how long the call took. A failed
// call leaves `reply` as it was.
double SecondsToFail(Client& client, RPCReply& reply, double timeout_s) {
  reply.request_id = 42;
  const auto start = Clock::now();
  EXPECT_FALSE(client.SendRequestAndGetReply(RPCRequest{1, {}}, reply, timeout_s));
  EXPECT_EQ(reply.request_id, 42) << "a failed call leaves the reply unchanged";
  return SecondsSince(start);
}

TEST(RpcClientTest, RequestReachesTheServerAndTheReplyComesBack) {
  const std::string key = "velmor/test/rpc/echo";
  Server server(key, [](const zenoh::Query& query) {
    const auto request = zenoh_msgs::Decode<RPCRequest>(query.payload().data, query.payload().size);
    RPCReply reply;
    reply.request_id = request.request_id;
    reply.success = true;
    reply.joint_groups = request.joint_groups;
    query.reply(zenoh_msgs::Encode(reply));
  });
  Client client(SharedSession(), key);
  RPCReply reply;
  ASSERT_TRUE(client.SendRequestAndGetReply(RPCRequest{10, {0, 2, 3, 4, 5}}, reply, 2.0));
  EXPECT_EQ(reply.request_id, 10);
  EXPECT_EQ(reply.joint_groups, (std::vector<std::uint16_t>{0, 2, 3, 4, 5}));
}

// zenoh's default consolidation keeps the latest reply per key and delivers
// it when the query ends, so of two replies on one key the client sees one.
TEST(RpcClientTest, TwoValidRepliesGiveExactlyOneOfThem) {
  const std::string key = "velmor/test/rpc/two";
  Server server(key, [](const zenoh::Query& query) {
    query.reply(ReplyBytes(1, "first"));
    query.reply(ReplyBytes(1, "second"));
  });
  Client client(SharedSession(), key);
  RPCReply reply;
  ASSERT_TRUE(client.SendRequestAndGetReply(RPCRequest{1, {}}, reply, 2.0));
  ASSERT_EQ(reply.string_container.size(), 1u);
  EXPECT_EQ(reply.string_container[0], "second");
}

TEST(RpcClientTest, ErrorReplyThenValidReplyGivesTheValidOne) {
  const std::string key = "velmor/test/rpc/error_then_valid";
  Server server(key, [](const zenoh::Query& query) {
    query.reply_err({0xde, 0xad});
    query.reply(ReplyBytes(1, "valid"));
  });
  Client client(SharedSession(), key);
  RPCReply reply;
  ASSERT_TRUE(client.SendRequestAndGetReply(RPCRequest{1, {}}, reply, 2.0));
  EXPECT_EQ(reply.string_container, std::vector<std::string>{"valid"});
}

TEST(RpcClientTest, OnlyErrorOrMalformedRepliesEndTheCallWhenTheQueryEnds) {
  const std::string key = "velmor/test/rpc/malformed";
  Server server(key, [](const zenoh::Query& query) {
    auto surplus = ReplyBytes(1, "x");
    surplus.push_back(7);
    query.reply(surplus);
  });
  Client client(SharedSession(), key);
  RPCReply reply;
  EXPECT_LT(SecondsToFail(client, reply, 2.0), 1.0) << "the end of replies must wake the caller, not the time-out";

  Server errors("velmor/test/rpc/only_errors", [](const zenoh::Query& query) { query.reply_err({1}); });
  Client error_client(SharedSession(), "velmor/test/rpc/only_errors");
  EXPECT_LT(SecondsToFail(error_client, reply, 2.0), 1.0);
}

TEST(RpcClientTest, SilentServerEndsAfterTheTimeOutAndALateReplyIsHarmless) {
  const std::string key = "velmor/test/rpc/silent";
  std::mutex mutex;
  std::vector<zenoh::Query> held;  // holding a query keeps the requester waiting
  Server server(key, [&](const zenoh::Query& query) {
    std::lock_guard<std::mutex> lock(mutex);
    held.push_back(query);
  });
  Client client(SharedSession(), key);
  RPCReply reply;
  const double elapsed = SecondsToFail(client, reply, 1.0);
  EXPECT_GE(elapsed, 0.95);
  EXPECT_LT(elapsed, 1.5);

  // The caller gave up; now the server answers and lets the query go.
  {
    std::lock_guard<std::mutex> lock(mutex);
    for (const auto& query : held) query.reply(ReplyBytes(1, "late"));
    held.clear();
  }
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(reply.request_id, 42);
  EXPECT_TRUE(reply.string_container.empty());
}

// Reading a reply (decoding a large one) happens before the query's lock is
// taken: a caller whose deadline comes meanwhile returns then, not when the
// reading ends.
struct BlockedReader {
  using Item = int;
  static inline std::mutex mutex;
  static inline std::condition_variable changed;
  static inline bool reading = false;
  static inline bool released = false;

  static std::optional<int> Read(bool, std::string_view, zenoh::ByteView) {
    std::unique_lock<std::mutex> lock(mutex);
    reading = true;
    changed.notify_all();
    changed.wait_for(lock, 10s, [] { return released; });
    return 1;
  }
  bool Take(int) { return true; }
  static void Release() {
    std::lock_guard<std::mutex> lock(mutex);
    released = true;
    changed.notify_all();
  }
};

// The server runs in another process: zenoh answers a query to a queryable
// of its own session on the caller's thread, inside the get itself.
TEST(RpcClientTest, AReplyStillBeingReadDoesNotHoldTheCallerPastItsDeadline) {
  const std::string key = "velmor/test/rpc/slow_read";
  test::ChildProcess peer({test::TestPeerPath(), "serve", key, test::ToHex(ReplyBytes(1, "slow")), "30"});
  ASSERT_EQ(peer.ReadLine(10s), "ready");
  const auto session = SharedSession();
  const auto give_up = Clock::now() + 15s;
  bool reading = false;
  double elapsed = 0.0;
  // Until zenoh has found the peer, a query ends at once with no reply.
  while (!reading && Clock::now() < give_up) {
    zenoh::GetOptions options;
    options.timeout_ms = 200;
    const auto start = Clock::now();
    AwaitQuery(*session, zenoh::KeyExpr(key), std::move(options), BlockedReader{});
    elapsed = SecondsSince(start);
    std::lock_guard<std::mutex> lock(BlockedReader::mutex);
    reading = BlockedReader::reading;
  }
  BlockedReader::Release();
  EXPECT_TRUE(reading) << "no reply from the peer process reached the reader";
  EXPECT_LT(elapsed, 2.0) << "the caller waited for the reply's reading to end";
}

TEST(RpcClientTest, NoServerOrRejectedKeyReturnsFalseSoon) {
  Client nobody(SharedSession(), "velmor/test/rpc/nobody");
  RPCReply reply;
  EXPECT_LT(SecondsToFail(nobody, reply, 1.0), 1.5);

  Client rejected(SharedSession(), "velmor/robot/A#B/rpc");
  test::LogCapture log;
  EXPECT_LT(SecondsToFail(rejected, reply, 2.0), 0.1);
  // zenoh's reason is kept for whoever turns debug logging on.
  EXPECT_EQ(log.Count(spdlog::level::debug,
                      "[velmor::zenoh_mdw::RpcClient] Query on velmor/robot/A#B/rpc not sent: Failed to construct "
                      "KeyExpr from: velmor/robot/A#B/rpc(Error code: -1 )"),
            1);
}

TEST(RpcClientTest, ConcurrentCallsOnOneClientRunOneAfterTheOther) {
  const std::string key = "velmor/test/rpc/serialised";
  std::mutex mutex;
  std::vector<Clock::time_point> arrivals;
  Server server(key, [&](const zenoh::Query& query) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      arrivals.push_back(Clock::now());
    }
    // Answer later from another thread so that zenoh's thread stays free.
    std::thread([query] {
      std::this_thread::sleep_for(200ms);
      query.reply(ReplyBytes(1, "slow"));
    }).detach();
  });
  Client client(SharedSession(), key);
  std::vector<std::thread> callers;
  for (int i = 0; i < 2; ++i) {
    callers.emplace_back([&client] {
      RPCReply reply;
      EXPECT_TRUE(client.SendRequestAndGetReply(RPCRequest{1, {}}, reply, 2.0));
    });
  }
  for (auto& caller : callers) caller.join();
  std::lock_guard<std::mutex> lock(mutex);
  ASSERT_EQ(arrivals.size(), 2u);
  // The first call cannot return before its reply, sent 200 ms after its
  // query arrived; run one after the other, the second query arrives later.
  EXPECT_GE(arrivals[1] - arrivals[0], 190ms) << "second query started before the first call returned";
}

TEST(RpcClientTest, ServerInAnotherProcessAnswers) {
  const std::string key = "velmor/test/rpc/remote";
  test::ChildProcess peer({test::TestPeerPath(), "serve", key, test::ToHex(ReplyBytes(4, "remote")), "30"});
  ASSERT_EQ(peer.ReadLine(10s), "ready");
  Client client(SharedSession(), key);
  RPCReply reply;
  bool answered = false;
  const auto deadline = Clock::now() + 15s;
  while (!answered && Clock::now() < deadline) answered = client.SendRequestAndGetReply(RPCRequest{4, {}}, reply, 1.0);
  ASSERT_TRUE(answered) << "no reply from the peer process";
  EXPECT_EQ(reply.string_container, std::vector<std::string>{"remote"});
}

}  // namespace
}  // namespace velmor::zenoh_mdw
