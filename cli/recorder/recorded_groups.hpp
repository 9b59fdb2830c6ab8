#pragma once
// RecordedGroups: the joint groups a recording or the live view cuts each
// sample for. Start-up reads them from the robot's first sample; when it
// stopped waiting before one came, the client lets the first basic sample
// that arrives later name them (DataStream::FirstBasicGroups), and qrk takes
// them from there, so every sample from that one on is cut for them.
//
// Threads: Known and Current run on any thread. The client's taps see the
// naming sample before the client names the groups from it and publishes
// both together, so a writer that has taken that sample from its queue may
// come a moment early: the basic stream's writer asks KnownAfterBasicSample,
// which waits that moment out.
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "services/group_maps.hpp"

namespace velmor::cli {

/// Far longer than the client takes from its taps to naming the groups.
inline constexpr std::chrono::milliseconds kNamingWait{200};

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
  /// The groups, asked for a basic sample the client's taps have seen (the
  /// basic stream's writer only): when they come late, the client names them
  /// from the first such sample right after its taps saw it, so this waits
  /// for that rather than cut the sample for none. Null only if they were
  /// never named within kNamingWait (the client dropped that sample after its
  /// taps), and from then on it waits no more.
  const qrk_impl::GroupNames* KnownAfterBasicSample() const;
  /// Start-up did not know them: a sample after it named them, or will.
  bool CameLate() const noexcept { return static_cast<bool>(first_sample_); }

 private:
  qrk_impl::GroupNames groups_;
  FirstSampleGroups first_sample_;
  mutable bool naming_missed_ = false;
};

/// The closing summary's line on groups that came late: which sample named
/// them, or that none came; nothing for groups start-up read.
std::optional<std::string> LateGroupsLine(const RecordedGroups& groups);

}  // namespace velmor::cli
