#include "cli/robot_link_access.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <vector>

#include "cli/commands.hpp"
#include "cli/robot_census.hpp"
#include "client/serial_number.hpp"
#include "middleware/shared_session.hpp"

namespace velmor::cli {

namespace {

constexpr const char* kNotFound = "[velmor::qrk::Client] Failed to connect to [";
constexpr std::chrono::seconds kStreamWatch{1};

// A robot not found may still be on the network: its streams tell.
std::optional<double> StreamRateOf(const std::string& serial) {
  const RobotCensus census(zenoh_mdw::SharedSession());
  std::this_thread::sleep_for(kStreamWatch);
  const auto seen = census.Snapshot();
  const auto found = seen.find(serial);
  if (found == seen.end() || found->second.basic.samples + found->second.extra.samples == 0) return std::nullopt;
  return found->second.basic.Rate();
}

}  // namespace

std::unique_ptr<qrk_impl::RobotLink> OpenRobotLink(const std::string& serial) {
  const std::string normalised = qrk::NormalizeSerialNumber(serial);
  std::unique_ptr<qrk_impl::RobotLink> link;
  try {
    link = std::make_unique<qrk_impl::RobotLink>(normalised);
  } catch (const std::runtime_error& error) {
    if (std::string_view(error.what()).rfind(kNotFound, 0) != 0) throw;
    const auto rate = StreamRateOf(normalised);
    if (!rate) throw;
    throw std::runtime_error(fmt::format(
        "{}\nqrk: {} is on the network, its streams arrive ({:.1f} Hz), but its query server does not answer",
        error.what(), normalised, *rate));
  }
  if (const int servers = CountServers(*zenoh_mdw::SharedSession(), normalised); servers > 1) {
    std::fprintf(stderr, "qrk: warning: %s\n", ServedTwiceWarning(normalised, servers).c_str());
  }
  return link;
}

RecordedGroups GroupsToRecord(const qrk_impl::RobotLink& robot) {
  if (!robot.Layout().groups_from_first_sample) return RecordedGroups(robot.Layout().groups);
  return RecordedGroups::Late([&robot] { return robot.Stream().FirstBasicGroups(); });
}

std::vector<std::string> JointNamesOf(const qrk_impl::RobotLink& robot, const JointNameMap& names,
                                      const std::string& path) {
  if (names.empty()) return {};
  // The layout query covers every group, whether or not start-up saw one.
  std::size_t joints = 0;
  for (const auto& [group, start] : robot.Layout().start_ids) {
    const auto dof = robot.Layout().dofs.find(group);
    if (start >= 0 && dof != robot.Layout().dofs.end()) {
      joints = std::max(joints, static_cast<std::size_t>(start) + static_cast<std::size_t>(dof->second));
    }
  }
  return NamesOfJoints(names, joints, path);
}

std::optional<RobotShape> AskShape(qrk_impl::RobotLink& robot) {
  RobotShape shape;
  std::vector<qrk::JointGroup> all;
  for (const auto& entry : qrk::JointGroupNames()) {
    if (static_cast<int>(entry.first) >= 0) all.push_back(entry.first);
  }
  if (!qrk::IsOk(robot.Rpc().GetServerVersion(shape.version)) ||
      !qrk::IsOk(robot.Rpc().GetJointGroupLayout(all, shape.start_ids, shape.dofs))) {
    return std::nullopt;
  }
  try {
    shape.groups = robot.Stream().GetGroups(true);
  } catch (const std::out_of_range&) {  // a sample naming a group that is none: ask again later
    return std::nullopt;
  }
  return shape;
}

std::optional<qrk_impl::RobotIo> ReadIo(const qrk_impl::RobotLink& robot) {
  if (robot.BasicClock().Samples() == 0) return std::nullopt;
  return robot.Stream().GetIo();
}

std::string AgeText(const qrk_impl::StreamClock& clock) {
  const auto age = clock.Age();
  return age ? fmt::format("{:.1f} ms ago", std::chrono::duration<double, std::milli>(*age).count()) : "no sample yet";
}

}  // namespace velmor::cli
