#include "middleware/shared_session.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "middleware/key_exprs.hpp"
#include "middleware/zenoh/key_expr.hpp"
#include "middleware/zenoh/publisher.hpp"
#include "support/child_process.hpp"
#include "velmor/zenoh/z_exception.hpp"

namespace velmor::zenoh_mdw {
namespace {

using namespace std::chrono_literals;

TEST(SharedSessionTest, CallersShareOneSessionUntilTheLastReleasesIt) {
  std::weak_ptr<zenoh::Session> first_session;
  {
    auto a = SharedSession();
    auto b = SharedSession();
    EXPECT_EQ(a.get(), b.get());
    first_session = a;
  }
  EXPECT_TRUE(first_session.expired()) << "the cache must not keep the session alive";
  auto reopened = SharedSession();
  ASSERT_NE(reopened, nullptr);
  EXPECT_TRUE(first_session.expired());
}

TEST(SharedSessionTest, ConcurrentCallersOpenOnlyOneSession) {
  std::vector<std::shared_ptr<zenoh::Session>> sessions(4);
  std::vector<std::thread> threads;
  for (auto& slot : sessions) threads.emplace_back([&slot] { slot = SharedSession(); });
  for (auto& thread : threads) thread.join();
  for (const auto& session : sessions) EXPECT_EQ(session.get(), sessions.front().get());
}

// Options the simulator gives a session behind a router: they must reach
// zenoh (a default session would open), and zenoh's refusals must surface.
TEST(SessionOptionsTest, RefusedOptionsAndAnUnreachableRouterFailToOpen) {
  const auto code_of = [](const zenoh::SessionOptions& options) -> int {
    try {
      zenoh::Session session(options);
    } catch (const zenoh::ZException& error) {
      return error.code();
    }
    return 0;
  };
  EXPECT_EQ(code_of({"bogus", {}}), -1);
  EXPECT_EQ(code_of({"client", {"not an endpoint"}}), -1);
  EXPECT_EQ(code_of({"client", {"tcp/127.0.0.1:9"}}), -128) << "a client must fail without its router";
  EXPECT_EQ(code_of({"peer", {}}), 0);
}

TEST(ZExceptionTest, MessageEndsWithTheCodeInZenohsFormat) {
  EXPECT_STREQ(zenoh::ZException("Failed to open session", -1).what(), "Failed to open session(Error code: -1 )");
  EXPECT_STREQ(zenoh::ZException("Incorrect sequence size", -7).what(), "Incorrect sequence size(Error code: -7 )");
  EXPECT_EQ(zenoh::ZException("x", -128).code(), -128);
}

TEST(KeyExprTest, BuildsRobotKeysAndCanonisesThem) {
  EXPECT_EQ(RobotKey("AB-12-345", kBasicStreamSuffix), "velmor/robot/AB-12-345/basic_stream_data");
  EXPECT_EQ(RobotKey("AB-12-345", kExtraStreamSuffix), "velmor/robot/AB-12-345/extra_stream_data");
  EXPECT_EQ(RobotKey("AB-12-345", kRpcSuffix), "velmor/robot/AB-12-345/rpc");
  EXPECT_EQ(zenoh::KeyExpr("a/**/**/b").as_string_view(), "a/**/b");
}

TEST(KeyExprTest, RejectedTextThrowsWithTheTextInTheMessage) {
  for (const std::string text : {"", "velmor/robot/AB-1#/rpc", "velmor//rpc", "a/b?x", "trailing/"}) {
    try {
      zenoh::KeyExpr key(text);
      ADD_FAILURE() << "accepted '" << text << "'";
    } catch (const zenoh::ZException& error) {
      EXPECT_EQ(std::string(error.what()), "Failed to construct KeyExpr from: " + text + "(Error code: -1 )");
      EXPECT_EQ(error.code(), zenoh::Z_EINVAL);
    }
  }
}

// Proves discovery in the isolated namespace: zenoh's default configuration
// finds a peer in another process by multicast scouting on the loopback.
TEST(SharedSessionTest, PutReachesASubscriberInAnotherProcess) {
  const std::string key = "velmor/test/cross_process";
  test::ChildProcess peer({test::TestPeerPath(), "listen", key, "1", "15000"});
  ASSERT_EQ(peer.ReadLine(10s), "ready");

  auto session = SharedSession();
  zenoh::Publisher publisher(*session, zenoh::KeyExpr(key));
  // The peer may not have discovered us yet: keep publishing until it hears.
  const auto deadline = std::chrono::steady_clock::now() + 15s;
  std::optional<int> exit_code;
  while (!exit_code && std::chrono::steady_clock::now() < deadline) {
    publisher.put({0x01, 0x02, 0xff});
    exit_code = peer.Wait(50ms);
  }
  ASSERT_EQ(exit_code, 0) << "the peer never received the sample";
  EXPECT_EQ(peer.ReadLine(1s), "0102ff");
}

}  // namespace
}  // namespace velmor::zenoh_mdw
