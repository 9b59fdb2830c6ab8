#include "sim/rpc_responder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace velmor::sim {
namespace {

namespace msg = zenoh_msgs::qrk_msg;

const std::vector<std::uint16_t> kGroups{0, 2, 3, 4, 5};

ResponderSettings Settings() {
  ResponderSettings settings;
  settings.groups = kGroups;
  return settings;
}

msg::RPCReply Ask(RpcResponder& responder, std::uint16_t procedure, double t = 1.0,
                  std::vector<std::uint16_t> groups = {}) {
  return responder.Answer(msg::RPCRequest{procedure, std::move(groups)}, t);
}

std::size_t CountEmpty(const std::vector<std::string>& entries) {
  return static_cast<std::size_t>(std::count(entries.begin(), entries.end(), std::string()));
}

TEST(RpcResponder, EchoesTheProcedureAndSucceedsOnlyForKnownOnesExceptReachability) {
  RpcResponder responder(Settings());
  for (const std::uint16_t known : {1, 3, 4, 9, 10}) {
    const auto reply = Ask(responder, known);
    EXPECT_EQ(reply.request_id, known);
    EXPECT_TRUE(reply.success) << "procedure " << known;
  }
  for (const std::uint16_t unknown : {0, 2, 5, 8, 11, 65535}) {
    const auto reply = Ask(responder, unknown);
    EXPECT_EQ(reply.request_id, unknown);
    EXPECT_FALSE(reply.success) << "procedure " << unknown;
  }
}

TEST(RpcResponder, FaultSwitchesChangeVersionAndReachability) {
  ResponderSettings settings = Settings();
  RpcResponder healthy(settings);
  EXPECT_EQ(Ask(healthy, 1).string_container, std::vector<std::string>{"v2.1"});

  settings.version = "v9.9";
  settings.reachability_success = true;
  RpcResponder faulty(settings);
  EXPECT_EQ(Ask(faulty, 1).string_container, std::vector<std::string>{"v9.9"});
  EXPECT_TRUE(Ask(faulty, 0).success);
}

// The client splits the list at "jointGroup" markers and cuts every entry
// at its first "=", taking the name without the blank before it.
TEST(RpcResponder, PrimitiveEntriesFormOneMarkedBlockPerGroup) {
  RpcResponder responder(Settings());
  for (const double t : {0.0, 3.5, 7.9, 13.0}) {
    SCOPED_TRACE(t);
    const auto entries = Ask(responder, 3, t).string_container;
    std::vector<std::string> markers;
    std::vector<std::string> names_in_block;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const std::string& entry = entries[i];
      const auto equals = entry.find('=');
      ASSERT_NE(equals, std::string::npos) << entry;
      ASSERT_GE(equals, 2u) << entry;
      EXPECT_EQ(entry.substr(equals - 1, 3), " = ") << entry;
      const std::string name = entry.substr(0, equals - 1);
      const std::string value = entry.substr(equals + 2);
      EXPECT_EQ(name.find(' '), std::string::npos) << entry;
      EXPECT_FALSE(value.empty()) << entry;
      if (name == "jointGroup") {
        markers.push_back(value);
        names_in_block.clear();
      } else {
        ASSERT_FALSE(markers.empty()) << "entry before the first marker: " << entry;
        if (names_in_block.empty()) {
          EXPECT_EQ(name, "primitiveName");
        }
        EXPECT_EQ(std::count(names_in_block.begin(), names_in_block.end(), name), 0) << "repeated " << name;
        names_in_block.push_back(name);
      }
      if (name == "speed") {
        EXPECT_NE(value.find('.'), std::string::npos) << "speed must read as a double";
      }
      if (name == "reachedTarget") {
        EXPECT_TRUE(value == "0" || value == "1") << value;
      }
    }
    EXPECT_EQ(markers, (std::vector<std::string>{"0", "2", "3", "4", "5"}));
  }
}

TEST(RpcResponder, CorruptsOnlyTheFirstNPrimitiveReplies) {
  ResponderSettings settings = Settings();
  settings.corrupt_primitives = 2;
  RpcResponder responder(settings);
  EXPECT_EQ(CountEmpty(Ask(responder, 3).string_container), 1u);
  // Other procedures do not use up the countdown.
  Ask(responder, 4);
  Ask(responder, 1);
  const auto second = Ask(responder, 3).string_container;
  EXPECT_EQ(CountEmpty(second), 1u);
  EXPECT_EQ(second.front(), "jointGroup = 0");  // the marker still leads
  EXPECT_EQ(CountEmpty(Ask(responder, 3).string_container), 0u);
  EXPECT_EQ(CountEmpty(Ask(responder, 3).string_container), 0u);
}

TEST(RpcResponder, PlanInfoHasEightStringsWithNumericScaleAndStepFlag) {
  RpcResponder responder(Settings());
  bool waiting_seen = false;
  bool running_seen = false;
  for (double t = 0.0; t < 16.0; t += 1.0) {
    const auto strings = Ask(responder, 4, t).string_container;
    ASSERT_EQ(strings.size(), 8u);
    const double scale = std::stod(strings[6]);
    EXPECT_GT(scale, 0.0);
    EXPECT_LE(scale, 1.0);
    ASSERT_TRUE(strings[7] == "0" || strings[7] == "1") << strings[7];
    (strings[7] == "1" ? waiting_seen : running_seen) = true;
    for (std::size_t i = 0; i < 6; ++i) EXPECT_FALSE(strings[i].empty()) << "entry " << i;
  }
  EXPECT_TRUE(waiting_seen);
  EXPECT_TRUE(running_seen);
}

// Scores are read from packed floats 4 and 7 and change slope at 0.08, 0.15,
// 0.22, 0.3 and 0.75: over time the values must cross all of them.
TEST(RpcResponder, ManipulabilityPacksEightFloatsPerGroupSweepingTheScoreRange) {
  RpcResponder responder(Settings());
  float low = 1.0f;
  float high = 0.0f;
  for (double t = 0.0; t < 600.0; t += 0.5) {
    const auto reply = Ask(responder, 9, t);
    ASSERT_EQ(reply.joint_groups, kGroups);
    ASSERT_EQ(reply.float2d_container.size(), kGroups.size());
    for (const auto& packed : reply.float2d_container) {
      ASSERT_EQ(packed.size(), 8u);
      for (std::size_t k = 2; k < 8; ++k) {
        EXPECT_GE(packed[k], 0.0f);
        EXPECT_LE(packed[k], 0.8f + 1e-6f);
      }
      low = std::min({low, packed[4], packed[7]});
      high = std::max({high, packed[4], packed[7]});
    }
  }
  EXPECT_LT(low, 0.05f);
  EXPECT_GT(high, 0.76f);
  EXPECT_NE(Ask(responder, 9, 10.0).float2d_container, Ask(responder, 9, 11.0).float2d_container);
}

TEST(RpcResponder, LayoutAnswersTheRequestedGroupsTheRobotHas) {
  ResponderSettings settings = Settings();
  settings.groups = {3};  // the layout does not depend on what the streams report
  RpcResponder responder(settings);
  const auto reply = Ask(responder, 10, 1.0, {5, 1, 3, 0, 2, 4});
  EXPECT_TRUE(reply.success);
  EXPECT_EQ(reply.joint_groups, (std::vector<std::uint16_t>{5, 3, 0, 2, 4}));
  EXPECT_EQ(reply.int_container, (std::vector<std::int32_t>{14, 0, 0, 0, 7}));
  EXPECT_EQ(reply.float_container, (std::vector<float>{2.0f, 7.0f, 16.0f, 14.0f, 7.0f}));
  EXPECT_TRUE(Ask(responder, 10, 1.0, {}).joint_groups.empty());
}

}  // namespace
}  // namespace velmor::sim
