#pragma once
// FoxgloveTopics<Target>: the fixed topics under which qrk shows a robot in
// Foxglove and PlotJuggler, the same in an MCAP recording (Target =
// McapWriter) and on the live server (Target = LiveServer), so that a layout
// saved for one robot works for every robot and for both:
//
//   /<GROUP>/joint_states  foxglove.JointStates: joint_<index>, q, dq, tau
//   /<GROUP>/states        every field of the group's RobotStates
//   /<GROUP>/actions       every field of the group's RobotActions
//   /io                    E-stop, enabling device, 20 digital inputs and outputs
//   /tf                    one message per sample: for every group
//                          world -> <GROUP>_tcp and world -> <GROUP>_flange
//
// <GROUP> is the group's name as qrk prints it; a group appears only when
// the robot streams it. Groups that came late (recorded_groups.hpp) get their
// topics once they are known, after /io and /tf. Each message's sequence is
// the sample's number in its stream and its log time the receive time. A
// stream's pipeline calls Log from its one writer thread, through a
// TopicSink; the target serialises the two streams' calls, and whichever
// stream first finds late groups known adds their topics, once.
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

template <class Target>
class FoxgloveTopics {
 public:
  /// Advertises every topic known yet on `target`, which must outlive this.
  FoxgloveTopics(Target& target, RecordedGroups groups, const qrk_impl::StartIds& start_ids, const qrk_impl::Dofs& dofs)
      : target_(target), groups_(std::move(groups)), start_ids_(start_ids), dofs_(dofs) {
    using foxglove::Schema;
    GroupsAdvertised(groups_.Known());
    io_ = target_.AddChannel("/io", Schema::kRobotIo);
    tf_ = target_.AddChannel("/tf", Schema::kFrameTransforms);
  }

  /// Logs one basic sample: per group its joint states and states, every
  /// group's frames in one message, then the I/O. A sample that does not fit
  /// the layout logs its I/O only. Returns the messages logged.
  SampleRecords Log(const SampleStamp& stamp, const qrk_impl::BasicStreamData& sample) {
    const foxglove::MessageStamp message = StampOf(stamp);
    std::size_t logged = 0;
    for (const auto& [group, states] :
         qrk_impl::SliceStates(sample, GroupsAdvertised(groups_.KnownAfterBasicSample()), start_ids_, dofs_)) {
      const auto channels = channels_.find(group);
      if (channels == channels_.end()) continue;  // a group the robot did not stream at the start
      const auto first_joint = static_cast<std::uint32_t>(start_ids_.at(group));
      target_.LogStates(channels->second.joint_states, message, first_joint, states);
      target_.LogStates(channels->second.states, message, first_joint, states);
      // Only one stream's writer thread logs frames: the buffer is its own.
      if (frames_.size() <= logged) frames_.emplace_back();
      foxglove::GroupFrames& frames = frames_[logged];
      frames.group = channels->second.name;
      frames.tcp_pose = states.tcp_pose;
      frames.flange_pose = states.flange_pose;
      ++logged;
    }
    frames_.resize(logged);
    if (logged > 0) target_.LogFrames(tf_, message, frames_);
    target_.LogIo(io_, message, qrk_impl::IoOf(sample));
    return {logged > 0 ? 2 * logged + 2 : 1, logged > 0};
  }

  /// Logs one extra sample, per group its commanded values; returns the
  /// messages logged.
  SampleRecords Log(const SampleStamp& stamp, const qrk_impl::ExtraStreamData& sample) {
    const foxglove::MessageStamp message = StampOf(stamp);
    std::uint64_t logged = 0;
    for (const auto& [group, actions] :
         qrk_impl::SliceActions(sample, stamp.timestamp, GroupsAdvertised(groups_.Known()), start_ids_, dofs_)) {
      const auto channels = channels_.find(group);
      if (channels == channels_.end()) continue;
      target_.LogActions(channels->second.actions, message, actions);
      ++logged;
    }
    return {logged, logged > 0};
  }

 private:
  struct GroupChannels {
    std::string name;
    std::uint32_t joint_states = 0;
    std::uint32_t states = 0;
    std::uint32_t actions = 0;
  };

  // The groups known now, their topics added. Either stream's writer may
  // be first to find late groups known; the once flag lets one add the
  // topics and the other wait for them.
  const qrk_impl::GroupNames& GroupsAdvertised(const qrk_impl::GroupNames* known) {
    if (known == nullptr) return kNoGroups;
    std::call_once(channels_added_, [&] {
      using foxglove::Schema;
      for (const auto& entry : *known) {
        const std::string topic = "/" + GroupName(entry.first);
        channels_[entry.first] = {GroupName(entry.first),
                                  target_.AddChannel(topic + "/joint_states", Schema::kJointStates),
                                  target_.AddChannel(topic + "/states", Schema::kRobotStates),
                                  target_.AddChannel(topic + "/actions", Schema::kRobotActions)};
      }
    });
    return *known;
  }

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
template <class Target, class Message>
class TopicSink final : public SampleSink<Message> {
 public:
  explicit TopicSink(FoxgloveTopics<Target>& topics) : topics_(topics) {}
  SampleRecords Write(const SampleStamp& stamp, const Message& message) override { return topics_.Log(stamp, message); }
  bool Commit(bool) override { return true; }

 private:
  FoxgloveTopics<Target>& topics_;
};

}  // namespace velmor::cli
