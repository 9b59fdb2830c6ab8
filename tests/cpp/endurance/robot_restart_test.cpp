// The robot's process goes away and comes back while one client lives on:
// connected() follows it, and the streams resume into the same client once
// zenoh has rediscovered the new process.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "endurance/endurance_support.hpp"
#include "support/wait.hpp"

namespace velmor::test {
namespace {

using namespace std::chrono_literals;

std::pair<std::int32_t, std::int32_t> Stamp(const qrk::Client& client) {
  const auto states = client.states();
  return states.empty() ? std::pair<std::int32_t, std::int32_t>{0, 0} : states.begin()->second.timestamp;
}

bool StreamAdvances(const qrk::Client& client) {
  const auto before = Stamp(client);
  std::this_thread::sleep_for(50ms);
  return Stamp(client) != before;
}

TEST(RobotRestart, ConnectedFollowsTheRobotAndStreamsResumeInTheSameClient) {
  const std::string serial = "RESTART-1";
  const std::vector<std::string> options{"--rate", "1000"};
  auto robot = std::make_unique<SimProcess>(serial, options, 300);
  ASSERT_TRUE(robot->ready());
  Watchdog watchdog("the restart test", 240s);
  auto client = ConnectWithin(serial, false);
  ASSERT_TRUE(WaitUntil([&] { return StreamAdvances(*client); }, 10s));

  // Killed without a goodbye, then stopped cleanly: both ways back.
  for (const bool kill : {true, false}) {
    SCOPED_TRACE(kill ? "after SIGKILL" : "after SIGINT");
    if (kill) {
      robot->Kill();
    } else {
      ASSERT_TRUE(robot->Stop());
    }
    const auto gone = std::chrono::steady_clock::now();
    // connected() takes up to its 1 s time-out while the robot is away.
    EXPECT_TRUE(WaitUntil([&] { return !client->connected(); }, 20s));
    const double noticed = SecondsSince(gone);
    const auto frozen = Stamp(*client);
    EXPECT_FALSE(StreamAdvances(*client));
    EXPECT_EQ(StatesInconsistency(client->states()), "") << "the last sample must stay readable";

    robot = std::make_unique<SimProcess>(serial, options, 300);
    ASSERT_TRUE(robot->ready());
    const auto back = std::chrono::steady_clock::now();
    EXPECT_TRUE(WaitUntil([&] { return client->connected(); }, 30s));
    const double reconnected = SecondsSince(back);
    // The new process numbers its samples from 1 again.
    EXPECT_TRUE(WaitUntil([&] { return Stamp(*client) != frozen && StreamAdvances(*client); }, 30s));
    std::printf(
        "%s: connected() false after %.2f s; true %.2f s and streams back %.2f s after the new robot "
        "was ready (sample %d)\n",
        kill ? "SIGKILL" : "SIGINT", noticed, reconnected, SecondsSince(back), Stamp(*client).second);
    EXPECT_EQ(StatesInconsistency(client->states()), "");
    EXPECT_EQ(ActionsInconsistency(client->actions()), "");
    EXPECT_EQ(client->plan_info().velocity_scale, 0.5);
  }
}

}  // namespace
}  // namespace velmor::test
