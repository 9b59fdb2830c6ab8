#pragma once
// SampleTopics<Target, Plan>: a robot's samples as messages on fixed topics
// of a target (an MCAP writer, the live server), whatever the messages: the
// Plan says which topics a group has and what each sample logs on them
// (foxglove_topics.hpp: Foxglove's protobuf messages; ros2_topics.hpp: ROS
// 2's standard ones). Both plans share this: /io and /tf, a group's topics
// only when the robot streams it, groups that came late
// (recorded_groups.hpp) getting their topics once they are known, after /io
// and /tf, each message's sequence the sample's number in its stream and its
// log time the receive time. A stream's pipeline calls Log from its one
// writer thread, through a TopicSink; the target serialises the two streams'
// calls, and whichever stream first finds late groups known adds their
// topics, once.
//
// A Plan provides, for any Target:
//   struct Group                    a group's channels
//   AddIo(target), AddTf(target)    the robot-wide channels
//   AddGroup(target, group)         -> Group
//   LogStates(target, Group, stamp, first_joint, states)    -> messages logged
//   LogActions(target, Group, stamp, first_joint, actions)  -> messages logged
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "cli/common/group_text.hpp"
#include "cli/recorder/recorded_groups.hpp"
#include "cli/recorder/sample_sink.hpp"
#include "foxglove/messages.hpp"
#include "services/group_maps.hpp"
#include "services/robot_io.hpp"
#include "services/stream_slicing.hpp"

namespace velmor::cli {

template <class Target, class Plan>
class SampleTopics {
 public:
  /// Advertises every topic known yet on `target`, which must outlive this.
  SampleTopics(Target& target, RecordedGroups groups, const qrk_impl::StartIds& start_ids, const qrk_impl::Dofs& dofs)
      : target_(target), groups_(std::move(groups)), start_ids_(start_ids), dofs_(dofs) {
    GroupsAdvertised(groups_.Known());
    io_ = Plan::AddIo(target_);
    tf_ = Plan::AddTf(target_);
  }

  /// Logs one basic sample: per group its messages, every group's frames in
  /// one message, then the I/O. A sample that does not fit the layout logs
  /// its I/O only. Returns the messages logged.
  SampleRecords Log(const SampleStamp& stamp, const qrk_impl::BasicStreamData& sample) {
    const foxglove::MessageStamp message = StampOf(stamp);
    std::uint64_t messages = 0;
    std::size_t groups = 0;
    for (const auto& [group, states] :
         qrk_impl::SliceStates(sample, GroupsAdvertised(groups_.KnownAfterBasicSample()), start_ids_, dofs_)) {
      const auto channels = channels_.find(group);
      if (channels == channels_.end()) continue;  // a group the robot did not stream at the start
      messages += Plan::LogStates(target_, channels->second.channels, message, FirstJoint(group), states);
      // Only one stream's writer thread logs frames: the buffer is its own.
      if (frames_.size() <= groups) frames_.emplace_back();
      foxglove::GroupFrames& frames = frames_[groups];
      frames.group = channels->second.name;
      frames.tcp_pose = states.tcp_pose;
      frames.flange_pose = states.flange_pose;
      ++groups;
    }
    frames_.resize(groups);
    if (groups > 0) {
      target_.LogFrames(tf_, message, frames_);
      ++messages;
    }
    target_.LogIo(io_, message, qrk_impl::IoOf(sample));
    return {messages + 1, groups > 0};
  }

  /// Logs one extra sample, per group its commanded values; returns the
  /// messages logged.
  SampleRecords Log(const SampleStamp& stamp, const qrk_impl::ExtraStreamData& sample) {
    const foxglove::MessageStamp message = StampOf(stamp);
    std::uint64_t messages = 0;
    for (const auto& [group, actions] :
         qrk_impl::SliceActions(sample, stamp.timestamp, GroupsAdvertised(groups_.Known()), start_ids_, dofs_)) {
      const auto channels = channels_.find(group);
      if (channels == channels_.end()) continue;
      messages += Plan::LogActions(target_, channels->second.channels, message, FirstJoint(group), actions);
    }
    return {messages, messages > 0};
  }

 private:
  struct GroupChannels {
    std::string name;
    typename Plan::Group channels;
  };

  // The groups known now, their topics added. Either stream's writer may
  // be first to find late groups known; the once flag lets one add the
  // topics and the other wait for them.
  const qrk_impl::GroupNames& GroupsAdvertised(const qrk_impl::GroupNames* known) {
    if (known == nullptr) return kNoGroups;
    std::call_once(channels_added_, [&] {
      for (const auto& entry : *known) {
        channels_[entry.first] = {GroupName(entry.first), Plan::AddGroup(target_, entry.first)};
      }
    });
    return *known;
  }

  std::uint32_t FirstJoint(qrk::JointGroup group) const { return static_cast<std::uint32_t>(start_ids_.at(group)); }

  static foxglove::MessageStamp StampOf(const SampleStamp& stamp) {
    const auto nanoseconds = static_cast<std::uint64_t>(stamp.receive_time * 1e9);
    return {stamp.sample, nanoseconds};
  }

  static inline const qrk_impl::GroupNames kNoGroups;

  Target& target_;
  RecordedGroups groups_;
  std::once_flag channels_added_;
  qrk_impl::StartIds start_ids_;
  qrk_impl::Dofs dofs_;
  std::map<qrk::JointGroup, GroupChannels> channels_;
  std::uint32_t io_ = 0;
  std::uint32_t tf_ = 0;
  std::vector<foxglove::GroupFrames> frames_;
};

/// One stream's samples onto the topics: each is logged as it is written,
/// so there is nothing left to commit.
template <class Topics, class Message>
class TopicSink final : public SampleSink<Message> {
 public:
  explicit TopicSink(Topics& topics) : topics_(topics) {}
  SampleRecords Write(const SampleStamp& stamp, const Message& message) override { return topics_.Log(stamp, message); }
  bool Commit(bool) override { return true; }

 private:
  Topics& topics_;
};

}  // namespace velmor::cli
