// Clients created and destroyed over and over, and one client used from two
// threads at once, while qrk-sim streams at 1 kHz. Meant to run under the
// sanitizers (scripts/test --sanitize=...): a report, leak or hang fails the
// run. VELMOR_CHURN_CYCLES (default 50) and VELMOR_HAMMER_SECONDS (default 5)
// set the lengths; scripts/soak runs 1000 cycles.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "endurance/endurance_support.hpp"
#include "middleware/shared_session.hpp"
#include "support/wait.hpp"

namespace velmor::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Every tenth cycle lets the session go too, so that it closes with the
// client and the next cycle opens a fresh one; the other cycles share it.
constexpr long kSessionCycleEvery = 10;

TEST(Churn, ClientsComeAndGoWhileTheRobotStreams) {
  const long cycles = EnvCount("VELMOR_CHURN_CYCLES", 50);
  SimProcess robot("CHURN-1", {"--rate", "1000"}, 3600);
  ASSERT_TRUE(robot.ready());
  Watchdog watchdog("the churn", std::chrono::seconds(60 + cycles * 5));
  std::shared_ptr<zenoh::Session> held;
  for (long cycle = 0; cycle < cycles; ++cycle) {
    if (cycle % kSessionCycleEvery == 0) {
      held.reset();
    } else if (!held) {
      held = zenoh_mdw::SharedSession();
    }
    auto client = ConnectWithin("CHURN-1", false);
    ASSERT_TRUE(WaitUntil([&] { return client->states().size() == 5; }, 5s)) << "cycle " << cycle;
    // Half of the clients go while samples are still being copied in.
    if (cycle % 2 == 0) {
      EXPECT_EQ(StatesInconsistency(client->states()), "") << "cycle " << cycle;
    }
  }
}

// Runs `body` on two threads until `seconds` have passed; every failure is
// collected under a lock and reported on the test's thread.
class Hammer {
 public:
  void Fail(const std::string& what) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failures_.size() < 10) failures_.push_back(what);
  }
  std::vector<std::string> failures() {
    std::lock_guard<std::mutex> lock(mutex_);
    return failures_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> failures_;
};

void UseEverything(const qrk::Client& client, Hammer& hammer, Clock::time_point end, std::atomic<long>& rounds) {
  while (Clock::now() < end) {
    try {
      // Many stream reads to each round of queries, which wait for the network.
      for (int i = 0; i < 50; ++i) {
        if (const auto why = StatesInconsistency(client.states()); !why.empty()) hammer.Fail("states: " + why);
        if (const auto why = ActionsInconsistency(client.actions()); !why.empty()) hammer.Fail("actions: " + why);
        if (client.groups().size() != 5) hammer.Fail("groups");
        client.estop_released();
        client.enabling_device_on();
        client.digital_inputs();
        client.digital_outputs();
      }
      if (!client.connected()) hammer.Fail("connected() false");
      if (client.primitive_states().size() != 5) hammer.Fail("primitive_states");
      if (client.configuration_score().size() != 5) hammer.Fail("configuration_score");
      if (client.plan_info().pt_name.empty()) hammer.Fail("plan_info");
    } catch (const std::exception& error) {
      hammer.Fail(std::string("exception: ") + error.what());
    }
    ++rounds;
  }
}

TEST(TwoThreads, EveryAccessorAndQueryAtOnceWhileSamplesStream) {
  const long seconds = EnvCount("VELMOR_HAMMER_SECONDS", 5);
  SimProcess robot("HAMMER-1", {"--rate", "1000"}, static_cast<double>(seconds) + 300);
  ASSERT_TRUE(robot.ready());
  Watchdog watchdog("the two-thread run", std::chrono::seconds(seconds + 120));
  auto client = ConnectWithin("HAMMER-1", false);
  ASSERT_TRUE(WaitUntil([&] { return client->states().size() == 5; }, 5s));

  Hammer hammer;
  std::atomic<long> rounds{0};
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  std::thread other([&] { UseEverything(*client, hammer, end, rounds); });
  UseEverything(*client, hammer, end, rounds);
  other.join();
  EXPECT_EQ(hammer.failures(), std::vector<std::string>{});
  EXPECT_GT(rounds.load(), 2);
  std::printf("two threads: %ld rounds of 50 stream reads and 4 queries in %ld s\n", rounds.load(), seconds);
}

}  // namespace
}  // namespace velmor::test
