// The public client against the simulator on another host, and against
// in-process stand-ins where a test needs to count or withhold replies.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "e2e/simulated_robot.hpp"
#include "middleware/shared_session.hpp"
#include "middleware/zenoh/key_expr.hpp"
#include "middleware/zenoh/queryable.hpp"
#include "support/connect.hpp"
#include "support/log_capture.hpp"
#include "support/wait.hpp"
#include "velmor/qrk/client.hpp"

namespace velmor::qrk {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::ConnectWithin;
using test::LogCapture;
using test::SimulatedRobot;
using velmor::test::SecondsSince;

constexpr const char* kExitLine = ">>>>> Velmor QRK exited <<<<<";
constexpr const char* kConnected = "[velmor::qrk::Client] Connected to the robot";

TEST(ClientEndToEnd, AccessorsAgreeWithWhatTheRobotStreamsAndAnswers) {
  SimulatedRobot robot("AB-12-345");
  ASSERT_TRUE(robot.ready());
  LogCapture log;
  auto client = ConnectWithin("AB 12-345");  // normalised to AB-12-345 everywhere
  EXPECT_EQ(log.Count(spdlog::level::info, "[velmor::qrk::Client] Searching for [AB-12-345] ..."), 1);
  EXPECT_EQ(
      log.Count(spdlog::level::debug, "[velmor::qrk::Client] Creating RPC client on topic: velmor/robot/AB-12-345/rpc"),
      1);

  const auto groups = client->groups();
  ASSERT_EQ(groups.size(), 5u);
  EXPECT_EQ(groups.begin()->second, "ALL");
  ASSERT_TRUE(client->connected());

  const std::map<JointGroup, std::size_t> dofs{{JointGroup::ALL, 16},
                                               {JointGroup::ARMS, 14},
                                               {JointGroup::ARM_1, 7},
                                               {JointGroup::ARM_2, 7},
                                               {JointGroup::EXT_AXIS, 2}};
  const auto states = client->states();
  ASSERT_EQ(states.size(), 5u);
  for (const auto& [group, state] : states) {
    EXPECT_EQ(state.q.size(), dofs.at(group));
    EXPECT_EQ(state.temperature.size(), dofs.at(group));
    const auto& p = state.tcp_pose;
    EXPECT_NEAR(p[3] * p[3] + p[4] * p[4] + p[5] * p[5] + p[6] * p[6], 1.0, 1e-5);
    EXPECT_NE(state.tcp_wrench_local, (std::array<double, 6>{}));
  }
  // ARM_1 and ARM_2 are the two halves of ARMS.
  const auto& arms = states.at(JointGroup::ARMS).q;
  EXPECT_EQ(std::vector<double>(arms.begin(), arms.begin() + 7), states.at(JointGroup::ARM_1).q);

  const auto first_stamp = states.begin()->second.timestamp;
  ASSERT_TRUE(test::WaitUntil([&] { return client->states().begin()->second.timestamp != first_stamp; }, 5s));
  const auto actions = client->actions();
  ASSERT_EQ(actions.size(), 5u);
  EXPECT_EQ(actions.at(JointGroup::ARM_2).q_d.size(), 7u);

  EXPECT_TRUE(client->estop_released());
  const auto inputs = client->digital_inputs();
  ASSERT_TRUE(test::WaitUntil([&] { return client->digital_inputs() != inputs; }, 5s)) << "inputs never change";

  const auto primitives = client->primitive_states();
  ASSERT_EQ(primitives.size(), 5u);
  EXPECT_FALSE(primitives.begin()->second.pt_name.empty());
  EXPECT_EQ(primitives.begin()->second.names_and_values.count("jointGroup"), 0u);

  const auto plan = client->plan_info();
  EXPECT_FALSE(plan.pt_name.empty());
  EXPECT_DOUBLE_EQ(plan.velocity_scale, 0.5);

  const auto scores = client->configuration_score();
  ASSERT_EQ(scores.size(), 5u);
  for (const auto& [group, score] : scores) {
    EXPECT_GE(score.first, 0.0);
    EXPECT_LE(score.first, 100.0);
    EXPECT_GE(score.second, 0.0);
    EXPECT_LE(score.second, 100.0);
  }
}

TEST(ClientEndToEnd, QuietClientLogsOnlyTheConnectionAndExitLines) {
  SimulatedRobot robot("QT-1");
  ASSERT_TRUE(robot.ready());
  LogCapture log;
  {
    auto client = ConnectWithin("QT-1", false);
    log.Clear();  // drop the lines of failed discovery attempts, if any
  }
  EXPECT_EQ(log.TextsAt(spdlog::level::info), std::vector<std::string>{kExitLine});

  log.Clear();
  { Client client("QT-1", false); }
  EXPECT_EQ(log.TextsAt(spdlog::level::info), (std::vector<std::string>{kConnected, kExitLine}));
}

// A stand-in server on this host: holds every query (never answers) and
// counts the reachability queries it sees.
class SilentRobot {
 public:
  explicit SilentRobot(const std::string& serial)
      : session_(zenoh_mdw::SharedSession()),
        queryable_(*session_, zenoh::KeyExpr("velmor/robot/" + serial + "/rpc"), [this](const zenoh::Query& query) {
          std::lock_guard<std::mutex> lock(mutex_);
          held_.push_back(query);
        }) {}
  int Queries() {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(held_.size());
  }

 private:
  std::shared_ptr<zenoh::Session> session_;
  std::mutex mutex_;
  std::vector<zenoh::Query> held_;
  zenoh::Queryable queryable_;
};

TEST(ClientEndToEnd, UnansweredSearchMakesThreeQueriesInAboutThreeSeconds) {
  SilentRobot robot("NO-1");
  LogCapture log;
  const auto start = Clock::now();
  try {
    Client client("NO-1");
    FAIL() << "connected to a silent robot";
  } catch (const std::runtime_error& error) {
    EXPECT_EQ(std::string(error.what()).rfind("[velmor::qrk::Client] Failed to connect to [NO-1]. Please check", 0), 0u)
        << error.what();
  }
  const double elapsed = SecondsSince(start);
  EXPECT_GE(elapsed, 2.9);
  EXPECT_LT(elapsed, 4.5);
  EXPECT_EQ(robot.Queries(), 3);
  EXPECT_EQ(log.Count(spdlog::level::debug, "Failed to send remote call or server reply timeout"), 3);
  EXPECT_EQ(log.Count(spdlog::level::info, kExitLine), 1);
}

TEST(ClientEndToEnd, InvalidSerialFailsBeforeAnyNetworkActivity) {
  LogCapture log;
  for (const std::string serial : {"AB_1-345", "AB12", "-345", "AB-", "AB--345", " AB-345", "A.B-345", ""}) {
    EXPECT_THROW(Client(serial, false), std::invalid_argument) << serial;
  }
  EXPECT_EQ(log.Count(spdlog::level::info, kExitLine), 0);
  EXPECT_EQ(log.CountAt(spdlog::level::debug), 0) << "no service was started";
}

TEST(ClientEndToEnd, IncompatibleServerVersionIsRejected) {
  SimulatedRobot robot("VR-1", {"--version", "v2.10"});
  ASSERT_TRUE(robot.ready());
  const auto deadline = Clock::now() + 20s;
  std::string message;
  while (Clock::now() < deadline) {
    try {
      Client client("VR-1", false);
      FAIL() << "accepted version v2.10";
    } catch (const std::logic_error& error) {
      message = error.what();
      break;
    } catch (const std::runtime_error&) {  // not discovered yet
    }
  }
  EXPECT_EQ(message, "[velmor::qrk::Client] Version of this client is incompatible with robot [VR-1]");
}

TEST(ClientEndToEnd, TwoClientsShareTheSessionAndOutliveEachOther) {
  SimulatedRobot robot("TW-1");
  ASSERT_TRUE(robot.ready());
  auto first = ConnectWithin("TW-1", false);
  auto second = ConnectWithin("TW-1", false);
  std::weak_ptr<zenoh::Session> session = zenoh_mdw::SharedSession();
  first.reset();
  EXPECT_FALSE(session.expired());
  EXPECT_TRUE(second->connected());
  const auto stamp = second->states().begin()->second.timestamp;
  EXPECT_TRUE(test::WaitUntil([&] { return second->states().begin()->second.timestamp != stamp; }, 5s));
  second.reset();
  EXPECT_TRUE(session.expired()) << "the last client must close the session";
}

TEST(ClientEndToEnd, RobotGoingAwayIsReportedWhileTheLastDataStays) {
  auto robot = std::make_unique<SimulatedRobot>("GA-1");
  ASSERT_TRUE(robot->ready());
  auto client = ConnectWithin("GA-1", false);
  const auto before = client->states();
  ASSERT_FALSE(before.empty());
  robot.reset();
  const auto start = Clock::now();
  EXPECT_FALSE(client->connected());
  EXPECT_LT(SecondsSince(start), 1.5);
  const auto after = client->states();
  ASSERT_EQ(after.size(), before.size());
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(client->states().begin()->second.timestamp, after.begin()->second.timestamp) << "no new samples";
}

}  // namespace
}  // namespace velmor::qrk
