#include "cli/recorder/recorded_groups.hpp"

#include <fmt/format.h>

#include <thread>

#include "cli/common/group_text.hpp"

namespace velmor::cli {

RecordedGroups RecordedGroups::Late(FirstSampleGroups first_sample) {
  RecordedGroups groups;
  groups.first_sample_ = std::move(first_sample);
  return groups;
}

const qrk_impl::GroupNames* RecordedGroups::Known() const { return first_sample_ ? first_sample_() : &groups_; }

const qrk_impl::GroupNames* RecordedGroups::KnownAfterBasicSample() const {
  const qrk_impl::GroupNames* known = Known();
  if (known != nullptr || naming_missed_) return known;
  const auto give_up = std::chrono::steady_clock::now() + kNamingWait;
  while ((known = Known()) == nullptr) {
    if (std::chrono::steady_clock::now() >= give_up) {
      naming_missed_ = true;
      return nullptr;
    }
    std::this_thread::yield();
  }
  return known;
}

const qrk_impl::GroupNames& RecordedGroups::Current() const {
  const qrk_impl::GroupNames* known = Known();
  return known != nullptr ? *known : groups_;
}

std::optional<std::string> LateGroupsLine(const RecordedGroups& groups) {
  if (!groups.CameLate()) return std::nullopt;
  const qrk_impl::GroupNames* known = groups.Known();
  if (known == nullptr) {
    return "joint groups unknown: no basic sample came during start-up or since, so no sample had joint data";
  }
  std::string names;
  for (const auto& entry : *known) names += (names.empty() ? "" : ", ") + GroupName(entry.first);
  return fmt::format("joint groups came late: named by the first basic sample, after start-up stopped waiting: {}",
                     names.empty() ? "none" : names);
}

}  // namespace velmor::cli
