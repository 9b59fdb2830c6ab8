#pragma once
// RecordedGroups: the joint groups a recording or the live view cuts each
// sample for. Start-up reads them from the robot's first sample; when it
// stopped waiting before one came, the client lets the first basic sample
// that arrives later name them (DataStream::FirstBasicGroups), and qrk takes
// them from there, so every sample from that one on is cut for them.
//
// Threads: Known and Current run on any thread; the client names the
// groups before it hands the naming sample on, so a writer that has taken a
// basic sample from its queue finds them named.
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "services/group_maps.hpp"

namespace velmor::cli {

class RecordedGroups {
 public:
  /// Answers the groups the first basic sample named, null until it has come.
  using FirstSampleGroups = std::function<const qrk_impl::GroupNames*()>;

  /// Groups known from the start (start-up read them). Implicit, so that a
  /// recording's setup may be given the groups themselves.
  RecordedGroups(qrk_impl::GroupNames groups = {}) : groups_(std::move(groups)) {}
  /// Groups still to come: `first_sample` answers them once they have.
  static RecordedGroups Late(FirstSampleGroups first_sample);

  /// The groups, or null while they are still to come.
  const qrk_impl::GroupNames* Known() const;
  /// The groups, or none while they are still to come.
  const qrk_impl::GroupNames& Current() const;
  /// Start-up did not know them: a sample after it named them, or will.
  bool CameLate() const noexcept { return static_cast<bool>(first_sample_); }

 private:
  qrk_impl::GroupNames groups_;
  FirstSampleGroups first_sample_;
};

/// The closing summary's line on groups that came late: which sample named
/// them, or that none came; nothing for groups start-up read.
std::optional<std::string> LateGroupsLine(const RecordedGroups& groups);

}  // namespace velmor::cli
