// The recorder's middle without a network or a file: a sample handed to the
// feed comes out of the sinks with its number and stamps, onto the right
// topics, and the recording describes itself at the start and at the end
// with counts that match what its output took.
#include "cli/recorder/recording.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cli/recorder/foxglove_topics.hpp"
#include "cli/recorder/ros2_topics.hpp"
#include "cli/test_robot.hpp"

namespace velmor::cli {
namespace {

using qrk::JointGroup;
using test::Robot;

// What a Foxglove output was asked to log, one entry per message.
struct Logged {
  std::string topic;
  std::uint64_t sequence = 0;
  std::uint64_t log_time_ns = 0;
  std::uint32_t first_joint = 0;
  double first_value = 0.0;  // q[0], q_d[0], or the first group's tcp x
  std::pair<std::int32_t, std::int32_t> timestamp{0, 0};
  std::vector<std::string> frame_groups;
};

class FakeTarget {
 public:
  std::uint32_t AddChannel(const std::string& topic, foxglove::Schema schema) {
    topics.emplace_back(topic, schema);
    return static_cast<std::uint32_t>(topics.size() - 1);
  }
  void LogStates(std::uint32_t channel, const foxglove::MessageStamp& stamp, std::uint32_t first_joint,
                 const qrk::RobotStates& states) {
    Log(channel, stamp).first_joint = first_joint;
    logged.back().first_value = states.q.at(0);
    logged.back().timestamp = states.timestamp;
  }
  void LogFrames(std::uint32_t channel, const foxglove::MessageStamp& stamp,
                 const std::vector<foxglove::GroupFrames>& groups) {
    Logged& entry = Log(channel, stamp);
    for (const auto& frames : groups) entry.frame_groups.push_back(frames.group);
    entry.first_value = groups.at(0).tcp_pose[0];
  }
  std::uint32_t AddRos2Channel(const std::string& topic, foxglove::Ros2Message message, const std::string& frame = "") {
    ros2_topics.push_back({topic, message, frame});
    return AddChannel(topic, foxglove::Schema::kJointStates);
  }
  void LogActions(std::uint32_t channel, const foxglove::MessageStamp& stamp, std::uint32_t first_joint,
                  const qrk::RobotActions& actions) {
    Log(channel, stamp).first_joint = first_joint;
    logged.back().first_value = actions.q_d.at(0);
    logged.back().timestamp = actions.timestamp;
  }
  void LogIo(std::uint32_t channel, const foxglove::MessageStamp& stamp, const qrk_impl::RobotIo& io) {
    Log(channel, stamp).timestamp = io.timestamp;
  }

  std::vector<std::pair<std::string, foxglove::Schema>> topics;
  struct Ros2Topic {
    std::string topic;
    foxglove::Ros2Message message;
    std::string frame;
    bool operator==(const Ros2Topic& other) const {
      return topic == other.topic && message == other.message && frame == other.frame;
    }
  };
  std::vector<Ros2Topic> ros2_topics;
  std::vector<Logged> logged;

 private:
  Logged& Log(std::uint32_t channel, const foxglove::MessageStamp& stamp) {
    Logged& entry = logged.emplace_back();
    entry.topic = topics.at(channel).first;
    entry.sequence = stamp.sequence;
    entry.log_time_ns = stamp.log_time_ns;
    return entry;
  }
};

TEST(FoxgloveTopics, EachGroupHasItsTopicsAndASampleBecomesItsMessages) {
  const Robot robot;
  FakeTarget target;
  FoxgloveTopics<FakeTarget> topics(target, robot.groups, robot.start_ids, robot.dofs);
  using foxglove::Schema;
  const std::vector<std::pair<std::string, Schema>> advertised{{"/ALL/joint_states", Schema::kJointStates},
                                                               {"/ALL/states", Schema::kRobotStates},
                                                               {"/ALL/actions", Schema::kRobotActions},
                                                               {"/ARM_2/joint_states", Schema::kJointStates},
                                                               {"/ARM_2/states", Schema::kRobotStates},
                                                               {"/ARM_2/actions", Schema::kRobotActions},
                                                               {"/EXT_AXIS/joint_states", Schema::kJointStates},
                                                               {"/EXT_AXIS/states", Schema::kRobotStates},
                                                               {"/EXT_AXIS/actions", Schema::kRobotActions},
                                                               {"/io", Schema::kRobotIo},
                                                               {"/tf", Schema::kFrameTransforms}};
  EXPECT_EQ(target.topics, advertised);

  // A group's joints are named from its first joint's index in the robot;
  // every message of a sample carries its number and receive time.
  // Two messages per group, the frames and the I/O: the records are what the target holds.
  const SampleRecords basic = topics.Log(SampleStamp{7, 2.5, {12, 34}}, robot.Basic());
  EXPECT_TRUE(basic.fits);
  EXPECT_EQ(basic.records, 8u);
  std::vector<std::string> order;
  for (const Logged& entry : target.logged) {
    order.push_back(entry.topic);
    EXPECT_EQ(entry.sequence, 7u) << entry.topic;
    EXPECT_EQ(entry.log_time_ns, 2'500'000'000u) << entry.topic;
  }
  EXPECT_EQ(order, (std::vector<std::string>{"/ALL/joint_states", "/ALL/states", "/ARM_2/joint_states", "/ARM_2/states",
                                             "/EXT_AXIS/joint_states", "/EXT_AXIS/states", "/tf", "/io"}));
  EXPECT_EQ(target.logged[2].first_joint, 7u);
  EXPECT_EQ(target.logged[2].first_value, 107.0);  // joint 7's q
  EXPECT_EQ(target.logged[4].first_joint, 14u);
  EXPECT_EQ(target.logged[6].frame_groups, (std::vector<std::string>{"ALL", "ARM_2", "EXT_AXIS"}));
  EXPECT_EQ(target.logged[7].timestamp, std::make_pair(12, 34));

  // The extra stream's values carry the stamp the feed gave them.
  target.logged.clear();
  EXPECT_EQ(topics.Log(SampleStamp{3, 1.0, {56, 78}}, robot.Extra()).records, 3u);
  ASSERT_EQ(target.logged.size(), 3u);
  EXPECT_EQ(target.logged[1].topic, "/ARM_2/actions");
  EXPECT_EQ(target.logged[1].first_joint, 7u);
  EXPECT_EQ(target.logged[1].first_value, 107.0);  // joint 7's q_d
  EXPECT_EQ(target.logged[1].timestamp, std::make_pair(56, 78));

  // A sample that does not fit the layout: no group, only the I/O.
  Robot narrower = robot;
  narrower.dofs[JointGroup::ALL] = 20;
  FakeTarget other;
  FoxgloveTopics<FakeTarget> misfit(other, narrower.groups, narrower.start_ids, narrower.dofs);
  const SampleRecords unfit = misfit.Log(SampleStamp{}, robot.Basic());
  EXPECT_FALSE(unfit.fits);
  EXPECT_EQ(unfit.records, 1u);
  ASSERT_EQ(other.logged.size(), 1u);
  EXPECT_EQ(other.logged[0].topic, "/io");
}

TEST(FoxgloveTopics, GroupsThatComeLateGetTheirTopicsOnceKnown) {
  const Robot robot;
  FakeTarget target;
  const qrk_impl::GroupNames* named = nullptr;
  FoxgloveTopics<FakeTarget> topics(target, RecordedGroups::Late([&named] { return named; }), robot.start_ids,
                                    robot.dofs);
  using foxglove::Schema;
  const std::vector<std::pair<std::string, Schema>> before{{"/io", Schema::kRobotIo},
                                                           {"/tf", Schema::kFrameTransforms}};
  EXPECT_EQ(target.topics, before);
  const SampleRecords early = topics.Log(SampleStamp{0, 1.0, {0, 0}}, robot.Extra());
  EXPECT_FALSE(early.fits);
  EXPECT_EQ(early.records, 0u);

  named = &robot.groups;
  EXPECT_EQ(topics.Log(SampleStamp{0, 2.0, {12, 34}}, robot.Basic()).records, 8u);
  EXPECT_EQ(topics.Log(SampleStamp{1, 2.0, {12, 34}}, robot.Extra()).records, 3u);
  ASSERT_EQ(target.topics.size(), 2 + 3 * robot.groups.size());  // each group's topics added once
  EXPECT_EQ(target.topics[2].first, "/ALL/joint_states");
  EXPECT_EQ(target.logged.back().topic, "/EXT_AXIS/actions");
}

TEST(Ros2Topics, GroupsGetValidTopicNamesAndEachWrenchItsFrame) {
  Robot robot;
  const auto unnamed = static_cast<JointGroup>(1);  // in no name table: qrk prints it as "1"
  robot.groups = {{JointGroup::ARM_2, "ARM_2"}, {unnamed, "1"}};
  robot.start_ids[unnamed] = 14;
  robot.dofs[unnamed] = 2;
  FakeTarget target;
  Ros2Topics<FakeTarget> topics(target, robot.groups, robot.start_ids, robot.dofs);
  using M = foxglove::Ros2Message;
  using Topic = FakeTarget::Ros2Topic;
  std::vector<Topic> advertised;
  for (const auto& [topic, name] : {std::pair{"/group_1", "1"}, {"/ARM_2", "ARM_2"}}) {
    const std::string base = topic;
    advertised.insert(advertised.end(),
                      {{base + "/joint_states", M::kJointStates, ""},
                       {base + "/joint_commands", M::kJointCommands, ""},
                       {base + "/tcp_wrench", M::kTcpWrench, "world"},
                       {base + "/raw_tcp_wrench", M::kRawTcpWrench, "world"},
                       {base + "/tcp_wrench_local", M::kTcpWrenchLocal, std::string(name) + "_tcp"},
                       {base + "/raw_tcp_wrench_local", M::kRawTcpWrenchLocal, std::string(name) + "_tcp"}});
  }
  advertised.insert(advertised.end(), {{"/io", M::kIo, ""}, {"/tf", M::kTf, ""}});
  EXPECT_EQ(target.ros2_topics, advertised);

  // Per group its joint states and four wrenches, the frames (named as the
  // tf tree names them) and the I/O; per group its commanded joint values.
  EXPECT_EQ(topics.Log(SampleStamp{7, 2.5, {12, 34}}, robot.Basic()).records, 2 * 5 + 2u);
  EXPECT_EQ(target.logged.at(10).frame_groups, (std::vector<std::string>{"1", "ARM_2"}));
  target.logged.clear();
  EXPECT_EQ(topics.Log(SampleStamp{3, 1.0, {56, 78}}, robot.Extra()).records, 2u);
  EXPECT_EQ(target.logged.at(0).topic, "/group_1/joint_commands");
  EXPECT_EQ(target.logged.at(0).first_joint, 14u);
}

// Remembers every sample with its stamp; "fails" from the given sample on.
template <class Message>
class MemorySink final : public SampleSink<Message> {
 public:
  SampleRecords Write(const SampleStamp& stamp, const Message&) override {
    if (stamp.sample >= fail_from) throw WriteError("cannot write memory: full");
    stamps.push_back(stamp);
    return {2, true};
  }
  bool Commit(bool) override { return true; }

  std::uint64_t fail_from = UINT64_MAX;
  std::vector<SampleStamp> stamps;
};

class MemoryOutput final : public RecordingOutput {
 public:
  MemoryOutput() : RecordingOutput({"memory"}) {}
  SampleSink<qrk_impl::BasicStreamData>& BasicSink() override { return basic; }
  SampleSink<qrk_impl::ExtraStreamData>& ExtraSink() override { return extra; }
  void Describe(const RecordingProgress& progress) override { descriptions.push_back(progress); }

  MemorySink<qrk_impl::BasicStreamData> basic;
  MemorySink<qrk_impl::ExtraStreamData> extra;
  std::vector<RecordingProgress> descriptions;
};

TEST(Recording, DescribesItsStartAndItsEndWithTheCountsOfWhatItsOutputTook) {
  const Robot robot;
  auto owned = std::make_unique<MemoryOutput>();
  MemoryOutput& output = *owned;
  Recording recording(std::move(owned));
  ASSERT_EQ(output.descriptions.size(), 1u);
  EXPECT_GT(output.descriptions[0].start_time, 0.0);
  EXPECT_EQ(output.descriptions[0].end_time, 0.0);
  EXPECT_FALSE(output.descriptions[0].complete);

  recording.Feed().StartWriting();
  recording.Feed().OnExtra(robot.Extra(), 1.0);  // before any basic sample: no stamp yet
  recording.Feed().OnBasic(robot.Basic(), 2.0);  // stamped (12, 34)
  recording.Feed().OnExtra(robot.Extra(), 3.0);
  recording.Finish("time");

  ASSERT_EQ(output.basic.stamps.size(), 1u);
  EXPECT_EQ(output.basic.stamps[0].timestamp, std::make_pair(12, 34));
  ASSERT_EQ(output.extra.stamps.size(), 2u);
  EXPECT_EQ(output.extra.stamps[0].timestamp, std::make_pair(0, 0));
  EXPECT_EQ(output.extra.stamps[1].sample, 1u);
  EXPECT_EQ(output.extra.stamps[1].receive_time, 3.0);
  EXPECT_EQ(output.extra.stamps[1].timestamp, std::make_pair(12, 34));

  ASSERT_EQ(output.descriptions.size(), 2u);
  const RecordingProgress& ended = output.descriptions[1];
  EXPECT_EQ(ended.start_time, output.descriptions[0].start_time);
  EXPECT_GE(ended.end_time, ended.start_time);
  EXPECT_TRUE(ended.complete);
  EXPECT_FALSE(ended.empty);
  EXPECT_EQ(ended.ended_by, "time");
  EXPECT_EQ(ended.basic.received, 1u);
  EXPECT_EQ(ended.basic.records, 2u);
  EXPECT_EQ(ended.extra.written, 2u);
  EXPECT_EQ(ended.extra.records, 4u);
}

TEST(Recording, AFailedWriteOrNoSampleAtAllIsDescribedAsSuch) {
  const Robot robot;
  for (const bool failing : {false, true}) {
    auto owned = std::make_unique<MemoryOutput>();
    MemoryOutput& output = *owned;
    output.basic.fail_from = 1;
    Recording recording(std::move(owned));
    recording.Feed().StartWriting();
    if (failing) {
      for (int n = 0; n < 3; ++n) recording.Feed().OnBasic(robot.Basic(), 1.0);
    }
    recording.Finish("signal");
    const RecordingProgress& ended = output.descriptions.back();
    EXPECT_EQ(ended.complete, !failing);
    EXPECT_EQ(ended.empty, !failing);
    EXPECT_EQ(ended.ended_by, "signal");
    EXPECT_EQ(recording.Error().has_value(), failing);
    if (failing) {
      EXPECT_EQ(*recording.Error(), "cannot write memory: full");
      EXPECT_EQ(ended.basic.received, 3u);
      EXPECT_EQ(ended.basic.written, 1u);
    }
  }
}

}  // namespace
}  // namespace velmor::cli
